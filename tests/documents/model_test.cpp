#include <gtest/gtest.h>

#include "documents/FilteredMessageInfo.h"
#include "documents/LMDocument.h"
#include "documents/LMDocumentColumn.h"
#include "values/StringColumnData.h"

using namespace LogMonitoring;

namespace {

class BareDocument : public LMDocument {
public:
    using LMDocument::LMDocument;
    int openDocument() override { return 0; }
    int closeDocument() override { return 0; }
    LMDocumentRow* read() override { return nullptr; }
};

}

TEST(DocumentModel, BaseDocumentDefaults) {
    BareDocument doc("some/name");
    EXPECT_TRUE(doc.readHeader(5).empty());
    EXPECT_EQ(doc.getLastOffsetToRead(), 0u);
    doc.setLastOffsetToRead(77);
    EXPECT_EQ(doc.getLastOffsetToRead(), 0u);
    EXPECT_EQ(doc.getErrorCode(), 0u);
    EXPECT_EQ(doc.getOffset(), 0u);
    EXPECT_EQ(doc.getLineNumber(), 0u);
    EXPECT_EQ(doc.getMonitoringType(), 0u);
    EXPECT_EQ(doc.getTemplateXml(), nullptr);
    EXPECT_EQ(doc.getDocumentName(), "some/name");

    BareDocument typed("x", MonitoringTextLogAlternate);
    EXPECT_EQ(typed.getMonitoringType(), 9u);
}

TEST(DocumentModel, DocumentDoesNotOwnTemplates) {
    TemplateXML tmpl;
    tmpl.add_columns().set_dataType(1);
    {
        BareDocument doc("x");
        doc.setTemplateXml(&tmpl);
        doc.setSecondaryTemplateXml(&tmpl);
        EXPECT_EQ(doc.getTemplateXml(), &tmpl);
    }
    EXPECT_EQ(tmpl.columns_size(), 1u); // still alive and intact after the document went
}

TEST(DocumentModel, SetColumnDataKeepsAClone) {
    LMDocumentColumn cell(new StringColumnData(FreeText, "first"), 7);
    EXPECT_EQ(cell.getIndex(), 7u);
    EXPECT_EQ(cell.getColumnId(), 0u);

    StringColumnData mine(FreeText, "second");
    cell.setColumnData(&mine);
    ASSERT_NE(cell.getColumnData(), nullptr);
    EXPECT_NE(cell.getColumnData(), &mine);
    EXPECT_EQ(cell.getColumnData()->getDataAsString(), "second");

    cell.setColumnData(nullptr);
    EXPECT_EQ(cell.getColumnData(), nullptr);
    EXPECT_EQ(mine.getDataAsString(), "second"); // the caller's value is untouched
}

TEST(DocumentModel, FilteredMessageInfoStartsEmpty) {
    FilteredMessageInfo info;
    info.lines.push_back(Line{12, "text"});
    EXPECT_EQ(info.uniqueFileId, 0);
    EXPECT_EQ(info.lines.front().lineNumber, 12u);
}
