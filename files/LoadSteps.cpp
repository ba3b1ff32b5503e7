#include "files/LoadSteps.h"

#include "files/FileFormat.h"
#include "files/FileTexts.h"

#include <set>
#include <tuple>

namespace LoadSteps {

namespace {

constexpr int kImageRepeats = 3;

QString errorLine(const Cursor& c, const char* what) {
    // Addresses come from the file: any 32-bit number, so the count from 1 is done in 64 bits.
    return QStringLiteral("Error: Module %1/%2%3")
        .arg(qint64(c.subrack) + 1)
        .arg(qint64(c.slot) + 1)
        .arg(QLatin1String(what));
}

// An address of the head-end: only such a one goes into a select frame, where any other
// would put a control byte (CR, ETX, ...) or a wrapped byte on the line.
bool onHeadend(int subrack, int slot) {
    return subrack >= 0 && subrack < Subracks && slot >= 0 && slot < SlotsPerSubrack;
}

bool addressLine(Cursor& c, const QByteArray& line, Target& target) {
    const auto fields = FileFormat::headerFields(line);
    if (!fields)
        return false;
    if (target.currentModule(c.subrack, c.slot)) {
        c.BlockState = 2;
        return true;
    }
    c.subrack = (*fields)[0];
    c.slot = (*fields)[1];
    if (!target.wanted(c.subrack, c.slot)) {
        c.BlockState = 0;
        return true;
    }
    if (onHeadend(c.subrack, c.slot) && target.present(c.subrack, c.slot)) {
        c.BlockState = 2;
    } else {
        target.addError(errorLine(c, " not responding."));
        c.BlockState = 0;
    }
    return true;
}

void kindLine(Cursor& c, const QByteArray& line, Target& target) {
    target.appendStatus(FileTexts::Mark);
    if (line == FileFormat::Param)
        c.BlockState = 5;
    else if (line == FileFormat::Eeprom)
        c.BlockState = target.openImage() ? 6 : 0;
    else
        c.BlockState = 0;
}

bool valueLine(Cursor& c, const QByteArray& line, Target& target) {
    target.appendStatus(FileTexts::Mark);
    if (line == FileFormat::ModEnd) {
        target.finish(c.subrack, c.slot);
        c.BlockState = 0;
        return true;
    }
    const auto values = FileFormat::valueFields(line);
    if (!values)
        return false;
    target.writeValues(c.subrack, c.slot, *values);
    return true;
}

void imageLine(Cursor& c, const QByteArray& line, Target& target) {
    if (line == FileFormat::ModEnd) {
        target.finish(c.subrack, c.slot);
        c.BlockState = 0;
        return;
    }
    if (line.startsWith(FileFormat::ErrorPrefix))
        return;
    // "01": the module could not take the line yet; it gets a few more chances.
    QString reply = target.writeImageLine(c.subrack, c.slot, line);
    for (int n = 0; reply.startsWith(QLatin1String("01")) && n < kImageRepeats; ++n) {
        reply = target.writeImageLine(c.subrack, c.slot, line);
        target.appendStatus(QString::number(c.slot));
    }
    if (reply.startsWith(QLatin1String("01")))
        target.addError(errorLine(c, " can't write EEPROM"));
}

} // namespace

bool step(Cursor& c, const QByteArray& line, Target& target) {
    if (line.isEmpty())
        return false;
    if (line.startsWith(FileFormat::CommentMark))
        return true;
    switch (c.BlockState) {
    case 0:
        target.appendStatus(FileTexts::Mark);
        if (line == FileFormat::Mod)
            c.BlockState = 1;
        return true;
    case 1:
        return addressLine(c, line, target);
    case 2:
        if (target.typeMatches(c.subrack, c.slot, line)) {
            c.BlockState = 3;
        } else {
            target.addError(errorLine(c, " type mismatch"));
            c.BlockState = 0;
        }
        return true;
    case 3:
        if (target.versionMatches(c.subrack, c.slot, line)) {
            c.BlockState = 4;
        } else {
            target.addError(errorLine(c, " firmware version mismatch"));
            c.BlockState = 0;
        }
        return true;
    case 4:
        kindLine(c, line, target);
        return true;
    case 5:
        return valueLine(c, line, target);
    case 6:
        imageLine(c, line, target);
        return true;
    default:
        c.BlockState = 0;
        return true;
    }
}

namespace {

// Answers the questions of a step as `known` does, or with one fixed outcome where nothing is
// known; whether a module takes its special mode is never known. Sends nothing.
class DryTarget : public Target {
public:
    DryTarget(Target* known, bool wholeConfig, bool answer)
        : m_known(known), m_wholeConfig(wholeConfig), m_answer(answer) {}
    bool currentModule(int& subrack, int& slot) override {
        return m_known ? m_known->currentModule(subrack, slot) : !m_wholeConfig;
    }
    bool present(int subrack, int slot) override {
        return m_known ? m_known->present(subrack, slot) : m_answer;
    }
    bool typeMatches(int subrack, int slot, const QByteArray& line) override {
        return m_known ? m_known->typeMatches(subrack, slot, line) : m_answer;
    }
    bool versionMatches(int subrack, int slot, const QByteArray& line) override {
        return m_known ? m_known->versionMatches(subrack, slot, line) : m_answer;
    }
    bool openImage() override { return m_answer; }
    void writeValues(int, int, const QVector<qint32>&) override {}
    QString writeImageLine(int, int, const QByteArray&) override { return {}; }
    void finish(int, int) override {}
    void addError(const QString&) override {}
    void appendStatus(const QString&) override {}

private:
    Target* m_known;
    bool m_wholeConfig;
    bool m_answer;
};

} // namespace

int firstFileError(const QList<QByteArray>& lines, bool wholeConfig, Target* known) {
    // Every cursor the loader could have before each line; each step asks at most one
    // question of the head-end, so both answers to it cover every way on.
    DryTarget yes(known, wholeConfig, true);
    DryTarget no(known, wholeConfig, false);
    std::set<std::tuple<int, int, int>> cursors{{0, 0, 0}};
    for (int i = 0; i < lines.size(); ++i) {
        std::set<std::tuple<int, int, int>> next;
        for (const auto& [state, subrack, slot] : cursors) {
            for (Target* t : {static_cast<Target*>(&yes), static_cast<Target*>(&no)}) {
                Cursor c{state, subrack, slot};
                if (!step(c, lines[i], *t))
                    return i;
                next.emplace(c.BlockState, c.subrack, c.slot);
            }
        }
        cursors = std::move(next);
    }
    return -1;
}

} // namespace LoadSteps
