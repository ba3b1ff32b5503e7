#pragma once

#include "module/Module.h"
#include "module/ModuleAddress.h"

#include <QJsonArray>
#include <QJsonObject>

// A module record as a site agent sends it to a remote session: every field the engine reads
// and fills, its texts as they are (8-bit characters one to one), so that the record built
// from it is the one the agent holds.
namespace ModuleJson {
QJsonObject write(const TModule& m);
// The record; fields missing from the object keep a new record's values.
TModule read(const QJsonObject& o);
// Module addresses as [subrack, slot] pairs (counted from 0); reading keeps those of the
// head-end's 2 x 16 slots only.
QJsonArray writeAddresses(const ModuleAddresses& list);
ModuleAddresses readAddresses(const QJsonValue& list);
} // namespace ModuleJson
