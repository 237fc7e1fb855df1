#include "indexing/index_summary.h"

#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "platform/text.h"
#include "shell/startup.h"

#include <QStringList>

namespace tvk {

namespace {

// A string of the language module with its "%s" and "%d" filled by the C library's formatter.
template <typename... Args>
QString formatted(unsigned id, Args... args) {
    return QString::asprintf(loadLangString(id).toUtf8().constData(), args...);
}

// A path of the disc as a line of the summary shows it (bytes shown as the list shows names).
QByteArray shownPath(const std::string& path) {
    return fromServerText(path).toUtf8();
}

// The path of a cut-short archive on the disc: the archive's, then the one nested in it.
std::string archiveOnDisc(const CutShortArchive& cut, const std::string& source) {
    if (cut.archive.empty() && cut.inner.empty())
        return source;
    if (cut.archive.empty() || cut.inner.empty())
        return cut.archive + cut.inner;
    return cut.archive + "/" + cut.inner;
}

// Appends the lines of `items` (at most LEFT_OUT_NAMED, then how many more) to `lines`.
template <typename Item, typename Line>
void addLines(const std::vector<Item>& items, Line line, QStringList& lines) {
    for (std::size_t i = 0; i < items.size() && i < LEFT_OUT_NAMED; ++i)
        lines << line(items[i]);
    if (items.size() > LEFT_OUT_NAMED) {
        const QByteArray more = countText(items.size() - LEFT_OUT_NAMED).toUtf8();
        lines << formatted(IDS_AND_MORE, more.constData());
    }
}

} // namespace

QString countText(std::uint64_t count) {
    return QString::number(count);
}

QString limitText(int limit) {
    if (limit < TVK_LIMIT_RATIO || limit > TVK_LIMIT_SPOOL)
        return QString::number(limit);
    return loadLangString(IDS_LIMIT_RATIO + unsigned(limit - TVK_LIMIT_RATIO));
}

QString leftOutText(const IndexSummary& summary, int discId) {
    if (!summary.leftOut())
        return {};
    QStringList lines{formatted(IDS_LEFT_OUT, discId)};
    addLines(
        summary.cutShort,
        [&](const CutShortArchive& cut) {
            const QByteArray path = shownPath(archiveOnDisc(cut, summary.source));
            const QByteArray why = limitText(cut.limit).toUtf8();
            return formatted(IDS_ARCHIVE_CUT_SHORT, path.constData(), why.constData());
        },
        lines);
    addLines(
        summary.unopenedFolders,
        [](const std::string& folder) {
            const QByteArray path = shownPath(folder);
            return formatted(IDS_FOLDER_NOT_OPENED, path.constData());
        },
        lines);
    addLines(
        summary.unreadFiles,
        [](const std::string& file) {
            const QByteArray path = shownPath(file);
            return formatted(IDS_FILE_NOT_READ, path.constData());
        },
        lines);
    return lines.join(QLatin1Char('\n'));
}

} // namespace tvk
