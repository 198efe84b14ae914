#include "documents/LMTextFile.h"

namespace LogMonitoring {

LMTextFile::LMTextFile(std::list<LMDocumentColumn*> cells, std::list<LMDocumentColumn*> secondaryCells,
                       std::string text, unsigned long lineNumber)
    : cells_(std::move(cells)), text_(std::move(text)), lineNumber_(lineNumber) {
    secondaryColumns_ = std::move(secondaryCells);
}

LMTextFile::~LMTextFile() {
    for (LMDocumentColumn* cell : cells_) delete cell;
    for (LMDocumentColumn* cell : secondaryColumns_) delete cell;
}

std::list<LMDocumentColumn*> LMTextFile::getColumnList() { return cells_; }

std::string LMTextFile::toString() {
    if (!text_.empty()) return text_;
    std::string joined;
    bool first = true;
    for (LMDocumentColumn* cell : cells_) {
        if (!first) joined += ' ';
        first = false;
        if (cell && cell->getColumnData()) joined += cell->getColumnData()->getDataAsString();
    }
    return joined;
}

unsigned long LMTextFile::getLineNumber() { return lineNumber_; }

}
