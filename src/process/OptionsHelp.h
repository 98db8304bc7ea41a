#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

// The options part of a program's --help: one line an option, its names and value on the left,
// what it does in a column of its own, as every program here prints it.
QString optionsHelp(const QList<QCommandLineOption> &options);

// -h, --help and -v, --version, as every program here takes them.
QCommandLineOption helpOption();
QCommandLineOption versionOption();

// What --version prints: the program's name and the version, one line.
QString versionLine(const QString &program);
// A usage error as the tools print it on standard error: the program, the fault, and where help is.
QString usageFault(const QString &program, const QString &message);
