#include "core/ErrorReport.h"

#include "base/EngineException.h"

namespace tessaro {

std::string WithFullStop(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        message += '.';
    }
    return message;
}

TErrorReport DescribeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EngineException& e) {
        return {WithFullStop(e.what()), TMessageIcon::Warning};
    } catch (const std::exception& e) {
        return {WithFullStop(e.what()), TMessageIcon::Error};
    } catch (...) {
        return {WithFullStop("Unknown exception"), TMessageIcon::Error};
    }
}

namespace {

TExceptionReporter reporter = nullptr;

} // namespace

void SetExceptionReporter(TExceptionReporter newReporter) {
    reporter = newReporter;
}

void ReportException(std::exception_ptr error) {
    if (reporter == nullptr) {
        std::rethrow_exception(error);
    }
    reporter(error);
}

} // namespace tessaro
