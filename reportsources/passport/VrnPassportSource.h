// The software passport data source: the workstation (computer name, operating system) and
// every program installed through Windows Installer, with publisher, size and checksum.
#pragma once

#include <string>

#include "KvReportDataSource.h"
#include "ReportWriters.h"

class CVrnPassportSource : public IKvReportDataSource {
public:
    CVrnPassportSource() = default;
    void Release() override;
    int Build(const wchar_t* requestPath, const wchar_t* responsePath, IKvReportAbort* abort) override;

    static std::wstring GetOsDescription();
    static std::wstring GetComputerNetBiosName();
    // The Software section; the inventory's result, or 1 when aborted while writing.
    static int WriteSoftware(IReportWriter& writer, IKvReportAbort* abort);

protected:
    virtual ~CVrnPassportSource() = default;
};
