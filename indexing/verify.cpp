#include "indexing/verify.h"
#include "indexing/plg_api.h"
#include "platform/volumes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

namespace tvk {

namespace {

// Whether a folder above `path` (or `path` itself) could not be listed.
bool belowUnreadable(const std::set<std::string>& unreadable, const std::string& path) {
    for (std::size_t slash = path.size(); slash != std::string::npos && slash > 0;
         slash = path.rfind('/', slash - 1)) {
        if (unreadable.count(path.substr(0, slash)))
            return true;
    }
    return false;
}

VerifyItem compareOne(const DiscEntry& was, const RereadEntry& now) {
    VerifyItem item{VerifyKind::Unchanged, was.path};
    if (!now.readable) {
        item.kind = VerifyKind::Unreadable;
        return item;
    }
    item.typeDiffers = was.type != now.type;
    if (was.type != 'R' && now.type != 'R') {
        item.sizeDiffers = was.size != now.size;
        item.dateDiffers = !was.date.empty() && !now.date.empty() && was.date != now.date;
        item.contentsDiffer = was.hasHash && now.hashed && was.hash != now.hash;
    }
    if (item.typeDiffers || item.sizeDiffers || item.dateDiffers || item.contentsDiffer)
        item.kind = VerifyKind::Changed;
    return item;
}

std::string dateText(const DirectoryEntry& entry) {
    if (!entry.hasTime)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", entry.year, entry.month,
                  entry.day, entry.hour, entry.minute, entry.second);
    return text;
}

struct Reread {
    std::string root; // ends with '/'
    bool hash;
    const ReadProgress& progress;
    std::vector<RereadEntry>& entries;
    bool stopped = false;
};

struct Listing {
    std::string prefix;
    std::vector<RereadEntry>* entries;
};

void takeListed(void* context, const TvkPlgListedEntry* listed) {
    auto* listing = static_cast<Listing*>(context);
    RereadEntry entry;
    entry.path = listing->prefix + listed->path;
    entry.type = listed->type;
    entry.size = listed->size;
    if (listed->year != 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", listed->year,
                      listed->month, listed->day, listed->hour, listed->minute, listed->second);
        entry.date = text;
    }
    entry.readable = listed->readable != 0;
    entry.hashed = listed->hashed != 0;
    std::copy(listed->hash, listed->hash + entry.hash.size(), entry.hash.begin());
    listing->entries->push_back(std::move(entry));
}

// The entries of the archive at `path` through the archive library, their paths after
// `prefix`. The library's own result.
int listArchive(const std::string& path, const std::string& prefix, int flags,
                std::vector<RereadEntry>& entries) {
    Listing listing{prefix, &entries};
    return taviskPlg_list_archive(path.c_str(), flags, takeListed, &listing);
}

void rereadLevel(DirectoryPath& dirs, const std::string& prefix, Reread& walk) {
    const Directory& here = dirs.current();
    if (!here.valid())
        return;
    for (const DirectoryEntry& found : listDirectory(here)) {
        if (walk.stopped)
            return;
        RereadEntry entry;
        entry.path = prefix + found.name;
        entry.size = found.size;
        entry.date = dateText(found);
        if (found.directory) {
            entry.type = 'R';
            entry.size = 0;
            int error = 0;
            const bool entered = dirs.enter(found.name, error);
            entry.readable = entered || error == 0;
            walk.entries.push_back(entry);
            if (entered) {
                rereadLevel(dirs, entry.path + "/", walk);
                dirs.leave();
            }
            continue;
        }
        entry.type = found.regular && isSupportedArchive(found.name.c_str()) ? 'Z' : 'F';
        if (walk.hash && found.regular) {
            const FileFingerprint read =
                fingerprintFileAt(dirs.current().fd(), found.name, false, walk.progress);
            walk.stopped = read.state == FileReadState::Stopped;
            entry.readable = read.state == FileReadState::Read;
            entry.hashed = entry.readable;
            entry.hash = read.hash;
            if (entry.readable)
                entry.size = read.size;
        }
        const bool archive = entry.type == 'Z' && entry.readable;
        walk.entries.push_back(std::move(entry));
        // The archive's contents, as the scanner stored them beneath it.
        if (archive && !walk.stopped)
            listArchive(walk.root + walk.entries.back().path, walk.entries.back().path + "/",
                        walk.hash ? PARCOURE_FINGERPRINT : 0, walk.entries);
    }
}

} // namespace

VerifyReport compareDisc(const std::vector<DiscEntry>& catalogue,
                         const std::vector<RereadEntry>& disc) {
    VerifyReport report;
    std::map<std::string, std::vector<const RereadEntry*>> now;
    std::set<std::string> unreadableFolders;
    for (const RereadEntry& entry : disc) {
        now[entry.path].push_back(&entry);
        if (entry.type == 'R' && !entry.readable)
            unreadableFolders.insert(entry.path);
    }
    std::map<std::string, std::size_t> taken;
    for (const DiscEntry& was : catalogue) {
        const auto found = now.find(was.path);
        std::size_t& k = taken[was.path];
        if (found != now.end() && k < found->second.size()) {
            report.items.push_back(compareOne(was, *found->second[k++]));
            continue;
        }
        const bool hidden = belowUnreadable(unreadableFolders, was.path);
        report.items.push_back({hidden ? VerifyKind::Unreadable : VerifyKind::Missing, was.path});
    }
    for (const auto& [path, entries] : now) {
        const std::size_t used = taken.count(path) ? taken[path] : 0;
        for (std::size_t k = used; k < entries.size(); ++k)
            report.items.push_back({VerifyKind::New, path});
    }
    std::stable_sort(report.items.begin(), report.items.end(),
                     [](const VerifyItem& a, const VerifyItem& b) { return a.path < b.path; });
    for (const VerifyItem& item : report.items)
        ++report.counts[static_cast<std::size_t>(item.kind)];
    return report;
}

std::vector<RereadEntry> rereadFolder(const std::string& root, bool hash,
                                      const ReadProgress& progress) {
    std::vector<RereadEntry> entries;
    Directory top = Directory::open(root);
    if (!top.valid())
        return entries;
    DirectoryPath dirs(std::move(top));
    Reread walk{root.empty() || root.back() != '/' ? root + "/" : root, hash, progress, entries};
    rereadLevel(dirs, std::string(), walk);
    return entries;
}

int rereadImage(const std::string& image, bool hash, std::vector<RereadEntry>& entries) {
    entries.clear();
    return listArchive(image, std::string(),
                       PARCOURE_AS_DISC | PARCOURE_WHOLE | (hash ? PARCOURE_FINGERPRINT : 0),
                       entries);
}

std::string verifyReportText(const VerifyReport& report,
                             const std::array<std::string, VERIFY_KINDS>& words) {
    std::string text;
    for (const VerifyItem& item : report.items)
        if (item.kind != VerifyKind::Unchanged)
            text += words[static_cast<std::size_t>(item.kind)] + "\t" + item.path + "\n";
    for (std::size_t kind = 0; kind < VERIFY_KINDS; ++kind)
        text += words[kind] + "\t" + std::to_string(report.counts[kind]) + "\n";
    return text;
}

} // namespace tvk
