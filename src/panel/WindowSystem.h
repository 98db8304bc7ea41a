#pragma once

#include <QApplication>

#include <memory>

// Qt ends a program whose window system will not start with an abort and the advice to
// reinstall it. startApplication makes the application object with Qt's messages held back:
// if the start fails it prints one line on standard error naming what is missing and ends the
// program with status 1; once it has started it lets the held messages through.
std::unique_ptr<QApplication> startApplication(int &argc, char **argv);
