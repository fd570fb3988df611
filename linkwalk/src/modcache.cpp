// The process-wide store of what module walks need. A caller that walks many roots (one finder per
// executable) meets the same system modules again and again: each file is mapped and read once,
// and later visits ask nothing while its folder's change watch reports no change (else one query of
// its attributes).
#include "internal.h"

namespace Depends {

namespace {

// Beyond this the store is emptied and filled anew (a walk over a whole disk would otherwise
// keep every module it ever met).
const size_t kBudgetBytes = size_t(64) << 20;

size_t TextBytes(const std::wstring& s) { return 32 + s.size() * sizeof(wchar_t); }

} // namespace

const std::vector<ManifestIdentity>& CModuleInfo::Identities() const {
    std::call_once(m_parseOnce, [this] {
        try {
            ParseManifestIdentities(manifest, m_identities);
        } catch (...) {
            // Out of memory: the identities read so far stay.
        }
    });
    return m_identities;
}

size_t CModuleInfo::Footprint() const {
    size_t bytes = sizeof(*this) + manifest.size() + importText.size() + imports.size() * sizeof(ImportName);
    for (const ModuleName& n : moduleRefs)
        bytes += TextBytes(n.name) + TextBytes(n.key);
    for (const AssemblyReference& r : assemblyRefs)
        bytes += sizeof(r) + TextBytes(r.name) + TextBytes(r.token);
    return bytes;
}

CModuleCache::CModuleCache() {}

CModuleCache& CModuleCache::Instance() {
    // Never destroyed: a thread may still walk while the process ends.
    static CModuleCache* cache = new CModuleCache;
    return *cache;
}

ModuleInfoPtr CModuleCache::FindUnchanged(const std::wstring& key, uint64_t now) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        return ModuleInfoPtr();
    const Entry& e = it->second;
    const uint64_t generation = CFolderWatches::Instance().Generation(e.check.watch);
    if (generation == CFolderWatches::kUnwatched || generation != e.check.generation ||
        now >= e.check.at + kWatchTrustTime || !e.Settled())
        return ModuleInfoPtr();
    return e.info;
}

ModuleInfoPtr CModuleCache::Find(const std::wstring& key, const Stamp& stamp, const Check& check) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        return ModuleInfoPtr();
    Entry& e = it->second;
    if (e.stamp.size != stamp.size || e.stamp.lastWrite != stamp.lastWrite || e.stamp.creation != stamp.creation ||
        !e.Settled())
        return ModuleInfoPtr();
    e.check = check;
    return e.info;
}

void CModuleCache::Store(const std::wstring& key, const Stamp& stamp, const Check& check, uint64_t readAt,
                         const ModuleInfoPtr& info) {
    const size_t bytes = info->Footprint() + TextBytes(key) + 64;
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        m_bytes -= it->second.bytes;
        m_entries.erase(it);
    }
    if (m_bytes + bytes > kBudgetBytes) {
        m_entries.clear();
        m_bytes = 0;
    }
    if (bytes > kBudgetBytes)
        return;
    Entry& e = m_entries[key];
    e.stamp = stamp;
    e.check = check;
    e.readAt = readAt;
    e.info = info;
    e.bytes = bytes;
    m_bytes += bytes;
}

void CModuleCache::Clear() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_entries.clear();
    m_bytes = 0;
}

size_t CModuleCache::Count() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_entries.size();
}

} // namespace Depends
