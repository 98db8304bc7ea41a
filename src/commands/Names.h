#pragma once

#include "Vocabulary.h"

#include <QList>
#include <QStringList>
#include <QStringView>

#include <optional>

// The vocabulary found by name, for programs told in words what to send, and the names a user
// most likely meant by one that is not there. It sends nothing.
namespace vocabulary {

// A command or a query as a name finds it.
struct Named
{
    std::string_view name;
    std::string_view button;
    std::string_view caption;
    std::string_view text;
    const Query *query = nullptr; // set when the name is a status query's
};

// Every name, the commands in table order and then the queries.
QList<Named> everyName();
std::optional<Named> findName(QStringView name);
// Names a few keystrokes away, names the given one begins or ends, and names with it as a
// word; nearest first. Empty when nothing comes close.
QStringList closeNames(QStringView name);

} // namespace vocabulary
