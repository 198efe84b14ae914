#pragma once
// Decides whether one parsed row satisfies a list of conditions, and reports where in the row's
// text each satisfied condition matched (for highlighting).
//
// A condition names a template column by its entity id, an operation and one or two operands.
// The operands are typed once, when the matcher is built, as values of the condition's column;
// each row is then tested through the typed comparisons of its cells. The list may also carry one
// whole-row condition: a text the row's text must contain.
//
// Combination (ConditionsList field 8): 0 every tested condition must hold; 1 the first condition
// that holds decides; absent, the column conditions only contribute matched spans and the result
// rests on the whole-row condition alone.
//
// The matcher owns its operands. Matching does not change the matcher, so one matcher may test
// rows on several threads, each row on one thread at a time (the comparisons record their spans
// in the row's cells).
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "LMExport.h"
#include "documents/LMDocumentColumn.h"
#include "documents/LMDocumentRow.h"
#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/ColumnData.h"

namespace LogMonitoring {

// The row cell is the left operand, the condition's operand the right one.
enum OperationType : int32_t {
    Equals = 0,
    NotEquals = 1,
    Contains = 2,
    DoesNotContain = 3,
    LessThan = 4,
    LessThanOrEqual = 5,
    GreaterThan = 6,
    GreaterThanOrEqual = 7,
    Between = 8,
};

// First and last position (inclusive) of a match in the row's text.
using MatchedPosition = std::pair<unsigned long, unsigned long>;

class LM_EXPORT LMCriteriaMatcher : public ConditionsList {
public:
    // The four numbers are kept for the caller and take no part in matching.
    LMCriteriaMatcher(ConditionsList conditions, TemplateXML& templateXml, int firstNumber,
                      int secondNumber, long long firstId, long long secondId);
    ~LMCriteriaMatcher();
    LMCriteriaMatcher(const LMCriteriaMatcher&) = delete;
    LMCriteriaMatcher& operator=(const LMCriteriaMatcher&) = delete;

    // True when the row satisfies the list; appends the spans of the satisfied conditions (cell
    // index plus the cell's matched span) and of the whole-row condition. `rowColumns` holds the
    // row's cells indexed by column id.
    bool isCriteriaMatched(std::vector<LMDocumentColumn*>& rowColumns,
                           std::vector<MatchedPosition>& positions, LMDocumentRow* row);

    // The comparison of `cell` (left) with `operand`; Between also takes the second operand. A
    // missing value or an unknown operation tests false.
    bool isConditionMatched(ColumnData* operand, OperationType operation, ColumnData* cell,
                            ColumnData* secondOperand) const;

    int getFirstNumber() const { return firstNumber_; }
    int getSecondNumber() const { return secondNumber_; }
    long long getFirstId() const { return firstId_; }
    long long getSecondId() const { return secondId_; }

private:
    using Operands = std::pair<std::unique_ptr<ColumnData>, std::unique_ptr<ColumnData>>;

    void buildRowOperand();
    // Returns the template position of each mapped column entity.
    std::map<int64_t, size_t> mapTemplateColumns(const TemplateXML& templateXml);
    void buildOperands(TemplateXML& templateXml, const std::map<int64_t, size_t>& positions);
    // Whether the condition is tested at all: it names a column the template knows and has an
    // operation.
    bool isTested(const Condition& condition) const;
    // The row's cell in the condition's column, or null when the row has none there.
    LMDocumentColumn* rowCell(const Condition& condition,
                              std::vector<LMDocumentColumn*>& rowColumns) const;
    // Whether the whole-row condition holds; appends its span when it does.
    bool matchRow(LMDocumentRow* row, std::vector<MatchedPosition>& positions) const;
    bool hasCombination(int64_t value) const { return has_combination() && combination() == value; }

    std::vector<Operands> operands_;
    std::map<int64_t, int64_t> entityToColumnId_;
    std::map<int64_t, int64_t> columnIdToEntity_;
    std::unique_ptr<ColumnData> rowOperand_;
    int firstNumber_;
    int secondNumber_;
    long long firstId_;
    long long secondId_;
};

}
