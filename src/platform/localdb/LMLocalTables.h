#pragma once
#include <string>

// Rows of the local client tables that callers of LMDBInterface see.

// Kinds of component property (LM_ClientComponentProp.componentType).
enum ComponentType : int {
    ComponentTypeContentPath = 7,       // attrName: a content path; attrValue "1": scanned before
    ComponentTypeSubfolderSetting = 8,  // attrName "Subfolder Selected": the last include-subfolders setting
};

// One row of LM_ClientFiles (and of LM_ClientFilesForScan, which has the same columns).
struct LM_ClientFiles_t2 {
    static const char* getTableName() { return "LM_ClientFiles"; }
    int fileId = 0;
    long long fileReferenceNumber = 0; // the unique file identifier (inode)
    std::string filePath;
    long long lastModifiedTime = 0;
    long long referenceCount = 0;
    int isUNC = 0;
    std::string uncRoot;
};

// What a look-up of a registered file finds.
struct FileNameAndFRN {
    int fileId = 0;
    std::string fileName;
    long long fileReferenceNumber = 0;
    long long lastModifiedTime = 0;
};

// A file's progress for one monitoring policy. The last-known-good position is what the index
// is known to hold; the pending position is how far a reader has got since.
struct LMFileOffsets {
    long long lastOffset = 0;
    long long lastLineNum = 0;
    long long lastProcessedTime = 0;
    long long pendingOffset = 0;
    long long pendingLineNum = 0;
};
