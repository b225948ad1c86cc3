// How a conversion run ended, what it does afterwards, and the desktop notice about it.
#pragma once

#include <string>

namespace tessaro {

struct TRunOutcome {
    int Tasks = 0;        // tasks the run started with
    int Written = 0;      // tasks that finished their output
    int Failed = 0;       // tasks that ended with an error
    int Skipped = 0;      // checked rows that could not be prepared (no task)
    bool Stopped = false; // the user stopped the run
};

// The actions chosen for the end of the batch (open the output folder, shut down) happen
// when the batch ran to its end: it had tasks and the user did not stop it. Rows skipped
// before the run and tasks that failed on the way do not hold them back.
bool BatchRanToItsEnd(const TRunOutcome& outcome);
// Opening the output folder also needs something written into it.
bool OpenOutputFolderAfter(const TRunOutcome& outcome);

struct TBatchNotice {
    std::string Summary;
    std::string Body;
};
// "Conversion finished" or "Conversion stopped", with the counts of written and failed
// outputs.
TBatchNotice BatchNoticeOf(const TRunOutcome& outcome);

} // namespace tessaro
