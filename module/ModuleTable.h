#pragma once

#include "module/Module.h"
#include "module/Protocol.h"

#include <QStringList>
#include <memory>

// The module records of both subracks, [slot 0-16, subrack 0-2], owned here, and the
// per-slot report lists (DiagLines). Slot 16 is the special address; subrack 2 is unused.
class ModuleTable {
public:
    static constexpr int Slots = 17;
    static constexpr int Subracks = 3;
    static constexpr int SpecialSlot = Protocol::SpecialSlot;

    // The record at (slot, subrack), or nullptr when there is none (or outside the table).
    TModule* at(int slot, int subrack) const;
    // Frees the record at (slot, subrack) and puts a new, empty one in its place.
    TModule& renew(int slot, int subrack);
    void free(int slot, int subrack);

    // "Special addr." shows the module on the special address in the place of slot 1/1: a
    // new record of its own (nothing of 1/1 may show in it) takes that place, and 1/1's
    // record waits in the special slot until hideSpecial() puts it back.
    TModule& showSpecial();
    void hideSpecial();
    // The slot index that selects the module of the record at (slot, subrack): the special
    // address for the record showSpecial() made.
    int addressSlot(int slot, int subrack) const;

    // The report list of a slot, created empty on first use.
    QStringList& diagLines(int slot, int subrack);

private:
    static bool inside(int slot, int subrack);
    std::unique_ptr<TModule> m_modules[Slots][Subracks];
    QStringList m_diagLines[Slots][Subracks];
};
