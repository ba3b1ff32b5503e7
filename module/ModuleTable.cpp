#include "module/ModuleTable.h"

bool ModuleTable::inside(int slot, int subrack) {
    return slot >= 0 && slot < Slots && subrack >= 0 && subrack < Subracks;
}

TModule* ModuleTable::at(int slot, int subrack) const {
    return inside(slot, subrack) ? m_modules[slot][subrack].get() : nullptr;
}

TModule& ModuleTable::renew(int slot, int subrack) {
    Q_ASSERT(inside(slot, subrack));
    m_modules[slot][subrack] = std::make_unique<TModule>();
    return *m_modules[slot][subrack];
}

void ModuleTable::free(int slot, int subrack) {
    if (inside(slot, subrack))
        m_modules[slot][subrack].reset();
}

TModule& ModuleTable::showSpecial() {
    if (addressSlot(0, 0) != SpecialSlot)
        std::swap(m_modules[0][0], m_modules[SpecialSlot][0]);
    TModule& special = renew(0, 0);
    special.SlotIndex = SpecialSlot;
    return special;
}

void ModuleTable::hideSpecial() {
    if (addressSlot(0, 0) == SpecialSlot)
        std::swap(m_modules[0][0], m_modules[SpecialSlot][0]);
}

int ModuleTable::addressSlot(int slot, int subrack) const {
    const TModule* m = at(slot, subrack);
    return m && m->SlotIndex == SpecialSlot ? SpecialSlot : slot;
}

QStringList& ModuleTable::diagLines(int slot, int subrack) {
    Q_ASSERT(inside(slot, subrack));
    return m_diagLines[slot][subrack];
}
