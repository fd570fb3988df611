// The workstation resource data source: reads the board's local store through the store provider
// and reports the workstation (as the store records it) and the resources that this computer's
// integrity-check job controls, in file-system, registry and disk-sector sections.
#pragma once

#include <map>
#include <string>

#include <VCore.h>

#include "KvReportDataSource.h"
#include "ReportWriters.h"

// Items by ID, ordered as unsigned 64-bit numbers: IDs with the top bit set come last.
typedef std::map<unsigned long long, Varno::SmartPtr<Varno::StoreItem>> ResourceItemMap;

class CVrnResourceSource : public IKvReportDataSource
{
public:
    // The store file's name in the store folder.
    static const wchar_t kStoreFileName[];
    // How many items a loop handles between two looks at the abort object.
    static constexpr unsigned kAbortPollEvery = 4096;

    CVrnResourceSource() = default;
    void Release() override;
    // 0 done, 1 aborted, otherwise a failure HRESULT. The abort object may be null.
    int Build(const wchar_t* requestPath, const wchar_t* responsePath, IKvReportAbort* abort) override;

    // WorkstationInfo, then the integrity section, into the response. The store is opened only
    // when its file exists, and nothing is written into it.
    static int WriteStoreData(IReportWriter& writer, IKvReportAbort* abort);
    // VarnosCheck with one VarnoCheck per non-empty section, into the memory writer.
    static int WriteJobResources(IReportWriter& writer, const Varno::SmartPtr<Varno::ISubject>& subject,
                                 IKvReportAbort* abort);
    static int WriteResourceSection(IReportWriter& writer, IKvReportAbort* abort, const ResourceItemMap& map,
                                    UINT titleId);
    // Every item of the collection into the map under its ID; 1 when aborted on the way, else 0.
    static int CollectItems(const Varno::SmartPtr<Varno::IItemCollection>& collection, ResourceItemMap& map,
                            IKvReportAbort* abort);
    // "<first fixed drive>\Varno", or empty when the computer has no fixed drive.
    static std::wstring GetStoreFolder();
    // The defined environment references ("%NAME%") of the text replaced by their values, the
    // first occurrence of each; undefined ones and a '%' without its closing one stay as written.
    static std::wstring ExpandEnvironmentRefs(const std::wstring& text);
    // A string of the plug-in's string table (Russian).
    static std::wstring LoadText(UINT id);

protected:
    virtual ~CVrnResourceSource() = default;
};

// The plug-in's module handle (its string table lives there).
HMODULE ResourcePluginModule();
