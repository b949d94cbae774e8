// A report definition file, loaded and checked as a report run loads it.
#include "FuzzSupport.h"

#include "ReportDefinition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ReportError error;
    static_cast<void>(LoadReportDefinition(WriteInput(data, size, ".rpt"), QStringLiteral(LIR_REPORTDEF_XSD), &error));
    return 0;
}
