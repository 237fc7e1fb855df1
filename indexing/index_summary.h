// What an indexing reports while it runs (a progress sink: how far it has come, and whether it
// is to stop) and what it leaves behind (a summary: a plain value the walk fills and the user
// interface shows). The indexing dialog is one progress sink; a program without a window can
// be another and print the same summary.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace tvk {

// Where a walk reports its progress and learns that it is to stop.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // At each entry the walk counts for its progress: `position` 0 to 100, `entries` the
    // entries stored so far. The window keeps itself painted here.
    virtual void counted(int position, std::uint64_t entries) = 0;
    // Between any two entries, and while the archive library reads, every few tens of
    // milliseconds at least: `entries` as above (archive contents counted once their archive
    // has been read). True when the indexing is to stop.
    virtual bool stopRequested(std::uint64_t entries) = 0;
    // A catalogue statement failed; its error is the connection's last one. The window shows
    // it in the "MySQL Error" box, a program without a window prints it.
    virtual void catalogueFailed() = 0;
    // The disc image at `imagePath` cannot be read (`failure`: PARCOURE_DAMAGED when it was
    // read only in part, any other failure when it is no image the archive library reads).
    virtual void imageRefused(const std::string& imagePath, int failure) = 0;
    // The indexing starts (true) or ends (false): the window shows the hourglass meanwhile.
    virtual void busy(bool working) {}
    // The walk enters the folder `path` (from the disc's root), having stored files of `bytes`
    // bytes in all so far.
    virtual void enteredFolder(const std::string& path, std::uint64_t bytes) {}
    // While files are fingerprinted: `bytes` of their contents read so far in all.
    virtual void bytesRead(std::uint64_t bytes) {}
};

// An archive whose contents a limit of the archive library cut short.
struct CutShortArchive {
    std::string archive; // its path from the disc's root ("docs/big.zip"); empty for an image
                         // read as the disc itself
    std::string inner;   // the path inside it of the nested archive cut short; empty: itself
    int limit = 0;       // TVK_LIMIT_*
};

// How an indexing ended.
struct IndexSummary {
    int result = -1;           // the disc id; 0 or -1 when nothing was walked (see indexVolume)
    bool newDisc = false;      // the disc was made by this indexing
    std::string source;        // the volume's root or the image file that was read
    std::uint64_t entries = 0; // the entries the disc holds once the indexing ended
    bool writeFailed = false;  // a write failed (reported): the walk stopped there
    bool stopped = false;      // the user stopped it: a new disc was removed again
    bool imageRefused = false; // the image could not be read (reported); a new disc removed
    std::vector<CutShortArchive> cutShort;    // archives whose contents were cut short
    std::vector<std::string> unopenedFolders; // folders that could not be opened, from the root
    std::vector<std::string> unreadFiles;     // files stored without a fingerprint: their
                                              // contents could not be read (from the root)
    std::uint64_t fingerprinted = 0;          // files stored with a fingerprint

    // Every entry of the source was stored: nothing stopped, refused, cut short or left out.
    bool complete() const {
        return result > 0 && !writeFailed && !stopped && !imageRefused && cutShort.empty() &&
               unopenedFolders.empty();
    }
    // Something readable was left out of a disc that was stored.
    bool leftOut() const {
        return !cutShort.empty() || !unopenedFolders.empty() || !unreadFiles.empty();
    }
};

// The most items of each kind that leftOutText names one by one.
constexpr std::size_t LEFT_OUT_NAMED = 20;

// The text that tells what the indexing of disc `discId` left out (language module's texts):
// one line per archive cut short (its path and the limit) and per folder not opened, the
// first LEFT_OUT_NAMED of each, then how many more. Empty when nothing was left out.
QString leftOutText(const IndexSummary& summary, int discId);

// The words of the language module for limit `limit` (TVK_LIMIT_*).
QString limitText(int limit);

// `count` in decimal digits, as the messages show counts.
QString countText(std::uint64_t count);

} // namespace tvk
