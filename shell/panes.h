// The main window's client area: toolbar on top, status bar at the bottom, and between them
// the tree and the list side by side with a 2-pixel gap, whose boundary the user drags.
#pragma once

class QMainWindow;
class QMouseEvent;
class QWidget;

namespace tvk {

// The pane area in client coordinates. The fourth field is a height, not a bottom.
struct PaneArea {
    int left = 0;
    int top = 0;
    int right = 0;
    int height = 0;
};

constexpr int SPLITTER_WIDTH = 2;
constexpr int INITIAL_TREE_WIDTH = 300;

// Layout and drag state of the current main window.
extern PaneArea paneArea;
// Width of the tree, which is also the x of the gap's left edge in client coordinates.
extern int treeWidth;
// A drag of the gap is under way.
extern bool splitterDragging;
// The last drag position seen, measured from the window's outer left edge (frame included).
extern int lastDragX;

// The main window's client area, which holds the bars and the panes and shows the window's
// background in the gap; null without a main window.
extern QWidget* clientArea;

// Makes the client area of `window` (its central widget) and resets the layout and drag
// state to their start values. Owned by `window`.
QWidget* createClientArea(QMainWindow* window);

// The size change of the main window: docks the toolbar along the top and the status bar
// along the bottom at full width, computes paneArea between them (a missing bar counts as
// height 0) and places the panes.
void onMainWindowSize();

// Places the tree and the list from paneArea and treeWidth; a negative width or height
// counts as zero.
void layoutPanes();

// The left button pressed, the mouse moved, the left button released on the client area.
// Positions are those of the event, in client coordinates.
void beginSplitterDrag(const QMouseEvent& event);
void trackSplitterDrag(const QMouseEvent& event);
void endSplitterDrag(const QMouseEvent& event);

// Gives the client area its west-east cursor (seen over the gap only) and the bars and panes
// the arrow; with `busy`, the busy cursor everywhere in the main window instead.
void applyPaneCursors(bool busy);

} // namespace tvk
