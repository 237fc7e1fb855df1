// What the catalogue tree shows: one top-level item per disc, and below it the disc's
// directories and archives, loaded from the catalogue level by level on first expansion.
#pragma once

class QWidget;

namespace tvk {

// Empties the tree and the file list, connects when no connection is open, and lists the
// discs. Returns 1 when a connection is open at the end (also when the disc list could not be
// read), otherwise the non-zero result of connectCatalogue.
int refillCatalogueTree(QWidget* mainWindow);

} // namespace tvk
