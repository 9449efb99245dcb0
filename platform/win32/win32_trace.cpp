// win32_trace.cpp: the trace of the design's Windows calls, which its checks read for their order.
#include <cstdarg>
#include <cstdio>

#include "platform/switches.h"
#include "platform/win32/win32_internal.h"

bool tracingCalls() {
    static const bool on = switchOn(Switch::CallTrace);
    return on;
}

void traceCall(const char* format, ...) {
    if (!tracingCalls()) return;
    std::fputs("call ", stdout);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stdout, format, arguments);
    va_end(arguments);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
