// Descriptive documents for a policy's data-extraction rules, kept at the front of every batch so
// that the index knows which fields the rules produce.
#include "indexing/LMCIHelper.h"

#include "platform/messages/XMLDecoder.h"

namespace LogMonitoring {

namespace {

const char* outputTypeName(int64_t type) {
    switch (type) {
    case 0: return "int";
    case 1: return "double";
    case 2: return "string";
    default: return "";
    }
}

// The index field name of the first indexed template column the rule reads, or "" without one.
std::string inputFieldOf(const TemplateXML& templateXml, const std::string& inputField) {
    for (size_t i = 0; i < templateXml.columns_size(); ++i) {
        const Column& column = templateXml.columns(i);
        if (column.has_indexed() && column.indexed() == 0) continue;
        if (column.columnName() == inputField) return indexFieldNameOf(column);
    }
    return "";
}

}

int LMCIHelper::populatePatternHeader(std::string patternsXml, TemplateXML templateXml) {
    if (patternsXml.empty()) return 0;
    LMDataExtractionPatterns patterns;
    if (patterns.unserialize(patternsXml) != 0) {
        DebugLvl("LMCIHelper::populatePatternHeader", -1, "pattern xml unserialization failed ");
        return 1;
    }
    for (size_t i = 0; i < patterns.extractionOptions_size(); ++i) {
        const LMDataExtractionOption& rule = patterns.extractionOptions(i);
        if (!rule.has_regularExpression() || !rule.has_inputFieldName() || !rule.has_ruleKind()) continue;
        std::string doc = "<doc> <field name = \"pattern\">" + rule.regularExpression() + "</field>";
        if (rule.has_replacementText()) doc += "<field name = \"replace_with\">" + rule.replacementText() + "</field>";
        if (rule.has_groupNumber()) doc += "<field name = \"group_no\">" + rule.groupNumber() + "</field>";
        if (rule.has_outputFieldName()) {
            std::string name = rule.outputFieldName();
            lower(name);
            doc += " <field name = \"solrfield\">" + name + "</field>";
        }
        doc += std::string(" <field name = \"type\">") + (rule.ruleKind() != 0 ? "replace" : "match") + "</field>";
        if (rule.has_outputDataType()) {
            doc += std::string("<field name = \"outputdatatype\">") + outputTypeName(rule.outputDataType()) + "</field>";
        }
        const std::string input = inputFieldOf(templateXml, rule.inputFieldName());
        if (!input.empty()) doc += " <field name = \"inputfield\">" + input + "</field>";
        doc += "</doc>";
        patternHeaderDocs += doc;
    }
    return 0;
}

}
