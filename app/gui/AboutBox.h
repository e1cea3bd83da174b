// The "О программе" box: the program's name, version and where it keeps its
// settings, so an engineer can tell a support call what is installed.
#pragma once

#include <QString>

class QWidget;

// The box's text: the version comes from CMake's project(VERSION).
QString AboutText();

// Shows the box modally over parent (which may be null).
void ShowAboutBox(QWidget* parent);
