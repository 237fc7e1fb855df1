// The catalogue tree: the left pane of the main window, one top-level item per disc with its
// directories and archives below.
#pragma once

#include <QIcon>

class QTreeWidget;
class QWidget;

namespace tvk {

constexpr int ID_TREE = 20000;

// The tree control of the main window; null before the main window creates it and after
// the main window is gone.
extern QTreeWidget* catalogueTree;

// The tree's images. Each icon carries its picture for the selected state as its
// QIcon::Selected mode, which the view shows while the item is selected. Null icons when
// the image list could not be made (the tree then works without images).
extern QIcon discImage;
extern QIcon folderImage;
extern QIcon archiveImage;

// Creates the tree control as a child of `parent` with control identifier `id`, at
// position and size zero (the pane layout places it). Owned by `parent`.
QTreeWidget* createCatalogueTree(QWidget* parent, int id);

// Builds the tree's images from bitmaps 103 (disc), 107/108 (directory, selected and
// normal) and 111/112 (archive, selected and normal) of the language module, magenta
// transparent. Returns false, and sets no image, when one of the five is missing.
bool createTreeImageList(QTreeWidget* tree);

} // namespace tvk
