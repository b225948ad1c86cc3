#include "run/RunOutcome.h"

namespace tessaro {

namespace {

std::string Count(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

bool BatchRanToItsEnd(const TRunOutcome& outcome) {
    return outcome.Tasks > 0 && !outcome.Stopped;
}

bool OpenOutputFolderAfter(const TRunOutcome& outcome) {
    return BatchRanToItsEnd(outcome) && outcome.Written > 0;
}

TBatchNotice BatchNoticeOf(const TRunOutcome& outcome) {
    TBatchNotice notice;
    notice.Summary = outcome.Stopped ? "Conversion stopped" : "Conversion finished";
    notice.Body = Count(outcome.Written, "file written", "files written");
    const int failed = outcome.Failed + outcome.Skipped;
    if (failed > 0) {
        notice.Body += ", " + std::to_string(failed) + " failed";
    }
    notice.Body += ".";
    return notice;
}

} // namespace tessaro
