#include "help/book_html.h"

#include <QStringDecoder>
#include <QTextDocumentFragment>

#include <algorithm>
#include <map>

namespace tvk::help {

namespace {

// One tag of the markup: its lower-case name, whether it closes an element, its attributes
// (lower-case names, raw values).
struct Tag {
    QString name;
    bool closing = false;
    std::map<QString, QString> attributes;
};

bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u':' || c == u'.';
}

// Character references in an attribute value, as an HTML reader would expand them.
QString decodeReferences(QString value) {
    if (!value.contains(u'&'))
        return value;
    value.replace(u'<', QLatin1String("&lt;"));
    return QTextDocumentFragment::fromHtml(value).toPlainText();
}

// Reads the tag that starts after the '<' at `at`; `at` moves past its '>' (or to the end of
// the text). Returns false, leaving `at` just after the '<', when no tag name follows.
bool readTag(const QString& html, qsizetype& at, Tag& tag) {
    const qsizetype size = html.size();
    qsizetype pos = at;
    tag = Tag{};
    if (pos < size && html[pos] == u'/') {
        tag.closing = true;
        ++pos;
    }
    const qsizetype nameStart = pos;
    while (pos < size && isNameChar(html[pos]))
        ++pos;
    if (pos == nameStart)
        return false;
    tag.name = html.mid(nameStart, pos - nameStart).toLower();
    for (;;) {
        while (pos < size && (isSpace(html[pos]) || html[pos] == u'/'))
            ++pos;
        if (pos >= size || html[pos] == u'>')
            break;
        const qsizetype attributeStart = pos;
        while (pos < size && !isSpace(html[pos]) && html[pos] != u'=' && html[pos] != u'>' &&
               html[pos] != u'/')
            ++pos;
        if (pos == attributeStart) { // a lone '=' or the like: skip it
            ++pos;
            continue;
        }
        const QString attribute = html.mid(attributeStart, pos - attributeStart).toLower();
        while (pos < size && isSpace(html[pos]))
            ++pos;
        QString value;
        if (pos < size && html[pos] == u'=') {
            ++pos;
            while (pos < size && isSpace(html[pos]))
                ++pos;
            if (pos < size && (html[pos] == u'"' || html[pos] == u'\'')) {
                const QChar quote = html[pos++];
                qsizetype end = html.indexOf(quote, pos);
                // An unclosed quote ends at the tag's end rather than swallowing the file.
                if (end < 0)
                    end = html.indexOf(u'>', pos);
                if (end < 0)
                    end = size;
                value = html.mid(pos, end - pos);
                pos = end < size && html[end] == quote ? end + 1 : end;
            } else {
                const qsizetype valueStart = pos;
                while (pos < size && !isSpace(html[pos]) && html[pos] != u'>')
                    ++pos;
                value = html.mid(valueStart, pos - valueStart);
            }
        }
        tag.attributes.emplace(attribute, decodeReferences(value));
    }
    at = pos < size ? pos + 1 : size;
    return true;
}

QString attribute(const Tag& tag, const char* name) {
    const auto found = tag.attributes.find(QString::fromLatin1(name));
    return found == tag.attributes.end() ? QString() : found->second;
}

} // namespace

QString decodeText(const QByteArray& bytes) {
    // Stateless: a sequence cut short at the end is an error, not something to wait for.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder windows1252("windows-1252");
    if (windows1252.isValid())
        return windows1252.decode(bytes);
    return QString::fromLatin1(bytes);
}

QString decodeHtml(const QByteArray& bytes) {
    // A page that declares nothing comes back as UTF-8, which decodeText checks.
    QStringDecoder declared = QStringDecoder::decoderForHtml(bytes);
    if (declared.isValid() && qstrcmp(declared.name(), "UTF-8") != 0) {
        const QString text = declared.decode(bytes);
        if (!declared.hasError())
            return text;
    }
    return decodeText(bytes);
}

std::vector<SitemapEntry> parseSitemap(const QString& html) {
    std::vector<SitemapEntry> entries;
    int listDepth = 0;
    bool inEntry = false;
    SitemapEntry entry;
    const auto finishEntry = [&] {
        if (inEntry && (!entry.name.isEmpty() || !entry.local.isEmpty()) &&
            entries.size() < static_cast<size_t>(maxSitemapEntries)) {
            if (entry.name.isEmpty())
                entry.name = entry.local;
            const int deepest = entries.empty() ? 0 : entries.back().depth + 1;
            entry.depth = std::clamp(entry.depth, 0, std::min(deepest, maxSitemapDepth));
            entries.push_back(entry);
        }
        inEntry = false;
    };

    qsizetype at = 0;
    const qsizetype size = html.size();
    while (at < size && entries.size() < static_cast<size_t>(maxSitemapEntries)) {
        const qsizetype open = html.indexOf(u'<', at);
        if (open < 0)
            break;
        if (html.mid(open, 4) == QLatin1String("<!--")) {
            const qsizetype close = html.indexOf(QLatin1String("-->"), open + 4);
            at = close < 0 ? size : close + 3;
            continue;
        }
        at = open + 1;
        Tag tag;
        if (!readTag(html, at, tag))
            continue;
        if (tag.name == QLatin1String("ul")) {
            listDepth = tag.closing ? std::max(0, listDepth - 1) : listDepth + 1;
        } else if (tag.name == QLatin1String("object")) {
            finishEntry();
            if (!tag.closing &&
                attribute(tag, "type")
                        .trimmed()
                        .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0) {
                inEntry = true;
                entry = SitemapEntry{};
                entry.depth = listDepth - 1;
            }
        } else if (tag.name == QLatin1String("param") && inEntry && !tag.closing) {
            const QString name = attribute(tag, "name").trimmed().toLower();
            const QString value = attribute(tag, "value").trimmed();
            if (name == QLatin1String("name") && entry.name.isEmpty())
                entry.name = value;
            else if (name == QLatin1String("local") && entry.local.isEmpty())
                entry.local = value;
        }
    }
    finishEntry();
    return entries;
}

} // namespace tvk::help
