// The workstation resource data source: reads the board's local store through the store provider
// and reports the workstation (as the store records it) and the resources that this computer's
// integrity-check job controls, in file-system, registry and disk-sector sections.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <VCore.h>

#include "KvReportDataSource.h"
#include "ReportWriters.h"

// Items by ID, ordered as unsigned 64-bit numbers: IDs with the top bit set come last.
typedef std::map<unsigned long long, Varno::SmartPtr<Varno::StoreItem>> ResourceItemMap;

// One section of the report as read from the store, ready to be written.
struct SResourceSection {
    UINT nTitleId = 0;
    bool bPresent = false;           // the section's map had resources (switched on or not)
    std::vector<std::wstring> paths; // of the switched-on ones, ascending by unsigned ID
};

class CVrnResourceSource : public IKvReportDataSource {
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
    // ICheck/IntegrityCheck/VarnosCheck with one VarnoCheck per non-empty section. Reads all of it
    // first and writes only when that went through: 0, 1 aborted (nothing written) or 0x80004005
    // for a store library error (nothing written).
    static int WriteJobResources(IReportWriter& writer, const Varno::SmartPtr<Varno::ISubject>& subject,
                                 IKvReportAbort* abort);
    // The job of the subject (first board job, else the first of the second edition), the groups
    // of the job and of its tasks, and their resources by section: file system, registry, sectors.
    static int CollectJobResources(const Varno::SmartPtr<Varno::ISubject>& subject, IKvReportAbort* abort,
                                   SResourceSection (&sections)[3]);
    // The paths of the switched-on resources of one section's map, in map order, with environment
    // references of file and directory paths expanded; 1 when aborted on the way.
    static int CollectSection(IKvReportAbort* abort, const ResourceItemMap& map, SResourceSection& section);
    // VarnoCheck with the title and one JobResource per path; nothing for a section without resources.
    static void WriteResourceSection(IReportWriter& writer, const SResourceSection& section);
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
