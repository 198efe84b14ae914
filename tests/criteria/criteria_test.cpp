// The criteria matcher over one parsed row: "status=500 message: disk full", whose cells are the
// status (a number found at offset 7) and the message (a text found at offset 20).
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "criteria/LMCriteriaMatcher.h"
#include "values/ColumnDataGenerator.h"

using namespace LogMonitoring;

namespace {

constexpr int64_t kStatus = 101;   // column entity ids
constexpr int64_t kMessage = 102;
constexpr int64_t kBytes = 103;    // in the template, but the row has no cell for it
constexpr int64_t kUnknown = 999;  // not in the template

const std::string kRowText = "status=500 message: disk full";

class TextRow : public LMDocumentRow {
public:
    explicit TextRow(std::string text) : text_(std::move(text)) {}
    std::list<LMDocumentColumn*> getColumnList() override { return {}; }
    std::string toString() override { return text_; }
    unsigned long getLineNumber() override { return 1; }

private:
    std::string text_;
};

void addColumn(TemplateXML& t, int64_t entity, int64_t columnId, DataType type, TypeFormat format) {
    Column& c = t.add_columns();
    c.mutable_columnEntity().set_id(entity);
    c.set_columnId(columnId);
    c.set_dataType(type);
    c.set_typeFormat(format);
}

TemplateXML makeTemplate() {
    TemplateXML t;
    addColumn(t, kStatus, 0, Number, Decimal);
    addColumn(t, kMessage, 1, String, FreeText);
    addColumn(t, kBytes, 2, Number, Decimal);
    return t;
}

struct Cond {
    int64_t entity;
    std::optional<int64_t> operation;
    std::string value;
    std::optional<std::string> second = std::nullopt;
    std::optional<int64_t> inclusive = std::nullopt;
    std::optional<int64_t> regEx = std::nullopt;
    std::optional<int64_t> caseSensitive = std::nullopt;
    std::optional<int64_t> wholeWord = std::nullopt;
};

void fill(Condition& c, const Cond& d) {
    c.mutable_column().set_id(d.entity);
    if (d.operation) c.set_operation(*d.operation);
    c.set_value(d.value);
    if (d.second) c.set_secondValue(*d.second);
    if (d.inclusive) c.set_inclusive(*d.inclusive);
    if (d.regEx) c.set_regEx(*d.regEx);
    if (d.caseSensitive) c.set_caseSensitive(*d.caseSensitive);
    if (d.wholeWord) c.set_matchWholeWord(*d.wholeWord);
}

struct Case {
    const char* name;
    std::vector<Cond> conditions;
    std::optional<int64_t> combination;
    std::optional<Cond> rowCondition;
    bool matched;
    std::vector<MatchedPosition> positions;
};

class CriteriaMatcher : public ::testing::Test {
protected:
    void SetUp() override {
        Column status;
        status.set_dataType(Number);
        status.set_typeFormat(Decimal);
        Column message;
        message.set_dataType(String);
        message.set_typeFormat(FreeText);
        cells_.push_back(std::make_unique<LMDocumentColumn>(ColumnDataGenerator(status, "500"), 7));
        cells_.push_back(std::make_unique<LMDocumentColumn>(ColumnDataGenerator(message, "disk full"), 20));
        for (auto& c : cells_) rowColumns_.push_back(c.get());
    }

    bool run(const Case& c, std::vector<MatchedPosition>& positions) {
        ConditionsList list;
        for (const auto& d : c.conditions) fill(list.add_conditions(), d);
        if (c.combination) list.set_combination(*c.combination);
        if (c.rowCondition) fill(list.mutable_rowCondition(), *c.rowCondition);
        TemplateXML t = makeTemplate();
        LMCriteriaMatcher matcher(list, t, 1, 2, 3, 4);
        return matcher.isCriteriaMatched(rowColumns_, positions, &row_);
    }

    std::vector<std::unique_ptr<LMDocumentColumn>> cells_;
    std::vector<LMDocumentColumn*> rowColumns_;
    TextRow row_{kRowText};
};

const Cond kFullHolds{kMessage, Contains, "full"};
const Cond kStatus404Fails{kStatus, Equals, "404"};
const Cond kStatus500Holds{kStatus, Equals, "500"};

}

TEST_F(CriteriaMatcher, CombinationsConditionsAndSpans) {
    const MatchedPosition full{25, 28};  // "full" in the message cell at offset 20
    const MatchedPosition disk{20, 23};  // "disk" in the row text
    const std::vector<Case> cases = {
        {"all: one fails", {kFullHolds, kStatus404Fails}, 0, std::nullopt, false, {full}},
        {"all: both hold", {kFullHolds, kStatus500Holds}, 0, std::nullopt, true, {full, {7, 7}}},
        {"any: the second holds", {kStatus404Fails, kFullHolds}, 1, std::nullopt, true, {full}},
        {"any: the first decides", {kFullHolds, kStatus404Fails}, 1, std::nullopt, true, {full}},
        {"any: none holds, the row text is contained", {kStatus404Fails}, 1,
         Cond{0, std::nullopt, "disk"}, false, {disk}},
        {"no combination: a failing condition alone", {kStatus404Fails}, std::nullopt, std::nullopt,
         true, {}},
        {"no combination: the row text decides", {kStatus404Fails, kFullHolds}, std::nullopt,
         Cond{0, std::nullopt, "smoke"}, false, {full}},
        {"all: the row text is not contained", {kFullHolds}, 0, Cond{0, std::nullopt, "smoke"},
         false, {full}},
        {"the row text is case-insensitive by default", {kFullHolds}, 0,
         Cond{0, std::nullopt, "DISK"}, true, {full, disk}},
        {"a case-sensitive row text", {}, std::nullopt,
         Cond{0, std::nullopt, "DISK", std::nullopt, std::nullopt, std::nullopt, 1}, false, {}},
        {"an empty row text is no condition", {}, 1, Cond{0, std::nullopt, ""}, false, {}},
        {"an unknown column is skipped; the next keeps its operands",
         {Cond{kUnknown, Contains, "zzz"}, kFullHolds}, 0, std::nullopt, true, {full}},
        {"a condition without an operation is skipped", {Cond{kStatus, std::nullopt, "404"}}, 0,
         std::nullopt, true, {}},
        {"an unknown operation tests false", {Cond{kStatus, 42, "500"}}, 0, std::nullopt, false, {}},
        {"a column the row has no cell for does not hold", {Cond{kBytes, Equals, "0"}}, 0,
         std::nullopt, false, {}},
        {"a regular-expression operand", {Cond{kMessage, Contains, "d.sk", std::nullopt,
                                               std::nullopt, 1}},
         0, std::nullopt, true, {disk}},
        {"a whole-word operand", {Cond{kMessage, Contains, "ful", std::nullopt, std::nullopt,
                                       std::nullopt, std::nullopt, 1}},
         0, std::nullopt, false, {}},
        {"a case-sensitive operand", {Cond{kMessage, Contains, "FULL", std::nullopt, std::nullopt,
                                           std::nullopt, 1}},
         0, std::nullopt, false, {}},
    };
    for (const auto& c : cases) {
        std::vector<MatchedPosition> positions;
        EXPECT_EQ(run(c, positions), c.matched) << c.name;
        EXPECT_EQ(positions, c.positions) << c.name;
    }
}

TEST_F(CriteriaMatcher, BetweenHonoursTheInclusiveFlag) {
    struct Bounds {
        const char* low;
        const char* high;
        std::optional<int64_t> inclusive;
        bool matched;
    };
    const std::vector<Bounds> cases = {
        {"500", "600", 1, true},  {"400", "500", 1, true},   {"400", "600", 1, true},
        {"500", "600", 0, false}, {"400", "500", 0, false},  {"400", "600", 0, true},
        {"501", "600", 1, false}, {"400", "500", std::nullopt, true},  // inclusive unless told
    };
    for (const auto& b : cases) {
        Cond between{kStatus, Between, b.low, std::string(b.high), b.inclusive};
        std::vector<MatchedPosition> positions;
        EXPECT_EQ(run({"between", {between}, 0, std::nullopt, b.matched, {}}, positions), b.matched)
            << b.low << ".." << b.high;
    }
    // Between without a second operand cannot hold.
    std::vector<MatchedPosition> positions;
    EXPECT_FALSE(run({"no bound", {Cond{kStatus, Between, "400"}}, 0, std::nullopt, false, {}},
                     positions));
}

TEST_F(CriteriaMatcher, OperationsCompareTheCellWithTheOperand) {
    struct Op {
        OperationType operation;
        const char* operand;
        bool matched;
    };
    const std::vector<Op> cases = {
        {Equals, "500", true},           {Equals, "501", false},
        {NotEquals, "501", true},        {NotEquals, "500", false},
        {LessThan, "501", true},         {LessThan, "500", false},
        {LessThanOrEqual, "500", true},  {LessThanOrEqual, "499", false},
        {GreaterThan, "499", true},      {GreaterThan, "500", false},
        {GreaterThanOrEqual, "500", true}, {GreaterThanOrEqual, "501", false},
    };
    TemplateXML t = makeTemplate();
    LMCriteriaMatcher matcher(ConditionsList{}, t, 0, 0, 0, 0);
    Column status = t.columns(0);
    ColumnData* cell = rowColumns_[0]->getColumnData();
    for (const auto& c : cases) {
        std::unique_ptr<ColumnData> operand(ColumnDataGenerator(status, c.operand));
        EXPECT_EQ(matcher.isConditionMatched(operand.get(), c.operation, cell, nullptr), c.matched)
            << c.operation << " " << c.operand;
    }
    Column message = t.columns(1);
    std::unique_ptr<ColumnData> part(ColumnDataGenerator(message, "disk"));
    ColumnData* text = rowColumns_[1]->getColumnData();
    EXPECT_TRUE(matcher.isConditionMatched(part.get(), Contains, text, nullptr));
    EXPECT_FALSE(matcher.isConditionMatched(part.get(), DoesNotContain, text, nullptr));
    EXPECT_FALSE(matcher.isConditionMatched(nullptr, Equals, cell, nullptr));
    EXPECT_FALSE(matcher.isConditionMatched(part.get(), Contains, nullptr, nullptr));
}

TEST_F(CriteriaMatcher, KeepsTheNumbersItWasGiven) {
    TemplateXML t = makeTemplate();
    LMCriteriaMatcher matcher(ConditionsList{}, t, 5, 6, 1LL << 40, -7);
    EXPECT_EQ(matcher.getFirstNumber(), 5);
    EXPECT_EQ(matcher.getSecondNumber(), 6);
    EXPECT_EQ(matcher.getFirstId(), 1LL << 40);
    EXPECT_EQ(matcher.getSecondId(), -7);
}

TEST_F(CriteriaMatcher, AnEmptyTemplateMakesNoOperandsAndNoMatchesOnColumns) {
    TemplateXML empty;
    ConditionsList list;
    fill(list.add_conditions(), kFullHolds);
    list.set_combination(0);
    LMCriteriaMatcher matcher(list, empty, 0, 0, 0, 0);
    std::vector<MatchedPosition> positions;
    EXPECT_TRUE(matcher.isCriteriaMatched(rowColumns_, positions, &row_));  // nothing is tested
    EXPECT_TRUE(positions.empty());
}
