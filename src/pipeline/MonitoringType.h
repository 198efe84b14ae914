#pragma once

namespace LogMonitoring {

// What a monitoring policy or template watches; the values are stored in policies and templates.
enum MonitoringType : unsigned {
    MonitoringTextLog = 0,          // text log file; header lines are captured as documents
    MonitoringEventLogContent = 1,  // event logs by name: no document of their own
    MonitoringTextLogNoHeader = 2,  // text log file without header capture
    MonitoringQuilmarEventLog = 3,  // the suite's own event log
    MonitoringUploadedFiles = 4,    // the files uploaded with the policy
    MonitoringDataSet = 5,          // a management data set
    MonitoringTextLogAlternate = 9, // text log file, read as type 2
};

}
