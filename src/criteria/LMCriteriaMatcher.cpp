#include "criteria/LMCriteriaMatcher.h"

#include "values/ColumnDataGenerator.h"

namespace LogMonitoring {

namespace {

// The free-standing column that types whole-record text.
Column freeTextColumn() {
    Column column;
    column.set_dataType(String);
    column.set_typeFormat(FreeText);
    return column;
}

bool flag(bool present, int64_t value) { return present && value != 0; }

}

LMCriteriaMatcher::LMCriteriaMatcher(ConditionsList conditions, TemplateXML& templateXml,
                                     int firstNumber, int secondNumber, long long firstId,
                                     long long secondId)
    : ConditionsList(std::move(conditions)),
      firstNumber_(firstNumber),
      secondNumber_(secondNumber),
      firstId_(firstId),
      secondId_(secondId) {
    buildRowOperand();
    buildOperands(templateXml, mapTemplateColumns(templateXml));
}

LMCriteriaMatcher::~LMCriteriaMatcher() = default;

void LMCriteriaMatcher::buildRowOperand() {
    const Condition* condition = rowCondition();
    if (!has_rowCondition() || !condition || condition->value().empty()) return;
    Column column = freeTextColumn();
    rowOperand_.reset(ColumnDataGenerator(column, condition->value()));
    if (!rowOperand_) return;
    // Absent flags read as false here: the whole-row text is case-insensitive unless asked.
    rowOperand_->setRegEx(flag(condition->has_regEx(), condition->regEx()));
    rowOperand_->setCaseSensitive(flag(condition->has_caseSensitive(), condition->caseSensitive()));
    rowOperand_->setMatchWholeWord(flag(condition->has_matchWholeWord(), condition->matchWholeWord()));
}

std::map<int64_t, size_t> LMCriteriaMatcher::mapTemplateColumns(const TemplateXML& templateXml) {
    std::map<int64_t, size_t> positions;
    for (size_t i = 0; i < templateXml.columns_size(); ++i) {
        const Column& column = templateXml.columns(i);
        const auto* entity = column.columnEntity();
        if (!entity || !entity->has_id() || !column.has_columnId()) continue;
        entityToColumnId_[entity->id()] = column.columnId();
        columnIdToEntity_[column.columnId()] = entity->id();
        positions[entity->id()] = i;
    }
    return positions;
}

void LMCriteriaMatcher::buildOperands(TemplateXML& templateXml,
                                      const std::map<int64_t, size_t>& positions) {
    for (size_t i = 0; i < conditions_size(); ++i) {
        const Condition& condition = conditions(i);
        Operands pair;
        // A column the template does not know takes the first column's type; such a condition
        // is skipped when rows are matched, but keeps its place so later ones use their own pair.
        size_t position = 0;
        const auto* entity = condition.column();
        if (entity && entity->has_id()) {
            auto found = positions.find(entity->id());
            if (found != positions.end()) position = found->second;
        }
        if (position < templateXml.columns_size()) {
            Column& column = templateXml.mutable_columns(position);
            pair.first.reset(ColumnDataGenerator(column, condition.value()));
            if (pair.first) {
                if (condition.has_regEx()) pair.first->setRegEx(condition.regEx() != 0);
                if (condition.has_caseSensitive()) {
                    pair.first->setCaseSensitive(condition.caseSensitive() != 0);
                }
                if (condition.has_matchWholeWord()) {
                    pair.first->setMatchWholeWord(condition.matchWholeWord() != 0);
                }
            }
            if (condition.has_secondValue()) {
                pair.second.reset(ColumnDataGenerator(column, condition.secondValue()));
                if (pair.second && condition.has_inclusive()) {
                    pair.second->setInclusive(condition.inclusive() != 0);
                }
            }
        }
        operands_.push_back(std::move(pair));
    }
}

bool LMCriteriaMatcher::isTested(const Condition& condition) const {
    const auto* entity = condition.column();
    if (!entity || !entity->has_id() || !condition.has_operation()) return false;
    return entityToColumnId_.count(entity->id()) != 0;
}

LMDocumentColumn* LMCriteriaMatcher::rowCell(const Condition& condition,
                                             std::vector<LMDocumentColumn*>& rowColumns) const {
    const int64_t columnId = entityToColumnId_.at(condition.column()->id());
    if (columnId < 0 || static_cast<uint64_t>(columnId) >= rowColumns.size()) return nullptr;
    return rowColumns[static_cast<size_t>(columnId)];
}

bool LMCriteriaMatcher::isCriteriaMatched(std::vector<LMDocumentColumn*>& rowColumns,
                                          std::vector<MatchedPosition>& positions,
                                          LMDocumentRow* row) {
    for (size_t i = 0; i < conditions_size() && i < operands_.size(); ++i) {
        const Condition& condition = conditions(i);
        if (!isTested(condition)) continue;
        // A row without a value in the condition's column does not satisfy it.
        LMDocumentColumn* cell = rowCell(condition, rowColumns);
        ColumnData* value = cell ? cell->getColumnData() : nullptr;
        const auto operation = static_cast<OperationType>(condition.operation());
        if (!isConditionMatched(operands_[i].first.get(), operation, value,
                                operands_[i].second.get())) {
            if (hasCombination(0)) return false;
            continue;
        }
        const unsigned long index = cell->getIndex();
        positions.emplace_back(index + value->positionMatchedFrom(), index + value->positionMatchedTo());
        if (hasCombination(1)) return true;
    }
    if (rowOperand_ && !matchRow(row, positions)) return false;
    return !hasCombination(1);
}

bool LMCriteriaMatcher::matchRow(LMDocumentRow* row, std::vector<MatchedPosition>& positions) const {
    if (!row) return false;
    Column column = freeTextColumn();
    std::unique_ptr<ColumnData> text(ColumnDataGenerator(column, row->toString()));
    if (!isConditionMatched(rowOperand_.get(), Contains, text.get(), nullptr)) return false;
    positions.emplace_back(text->positionMatchedFrom(), text->positionMatchedTo());
    return true;
}

bool LMCriteriaMatcher::isConditionMatched(ColumnData* operand, OperationType operation,
                                           ColumnData* cell, ColumnData* secondOperand) const {
    if (!operand || !cell) return false;
    switch (operation) {
    case Equals: return *cell == *operand;
    case NotEquals: return *cell != *operand;
    case Contains: return cell->contains(*operand);
    case DoesNotContain: return cell->doesNotContain(*operand);
    case LessThan: return *cell < *operand;
    case LessThanOrEqual: return *cell <= *operand;
    case GreaterThan: return *cell > *operand;
    case GreaterThanOrEqual: return *cell >= *operand;
    case Between: return secondOperand != nullptr && cell->between(*operand, *secondOperand);
    }
    return false;
}

}
