// What indexing reads besides names, sizes and dates: the content fingerprints, asked for
// apart for drives and folders (every byte read: a DVD takes minutes) and for disc images
// (read whole anyway). Kept in the settings file beside the connection settings.
#pragma once

class QWidget;

namespace tvk {

struct IndexingOptions {
    bool fingerprintFolders = false; // drives and folders
    bool fingerprintImages = true;   // disc images
};

// The options of the settings file; the defaults for those it does not hold (or cannot be
// read).
IndexingOptions readIndexingOptions();

// Writes `options` to the settings file (the other settings stay as they are).
void storeIndexingOptions(const IndexingOptions& options);

// Configuration > Indexing options...: a modal dialog with the two options; OK stores them.
// Returns true when the user chose OK.
bool showIndexingOptionsDialog(QWidget* owner);

} // namespace tvk
