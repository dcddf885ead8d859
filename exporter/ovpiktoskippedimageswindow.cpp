#include "ovpiktoskippedimageswindow.h"

OvPiktoSkippedImagesWindow::OvPiktoSkippedImagesWindow(QWidget* parent) : QDialog(parent) {}
