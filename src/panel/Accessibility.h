#pragma once

class QWidget;

// The accessible side of the controls that the window is built with.
namespace accessibility {

// Gives window's controls their accessible interface. Call before the controls are made:
// Qt keeps the first interface made for a widget.
void prepare(QWidget *window);

} // namespace accessibility
