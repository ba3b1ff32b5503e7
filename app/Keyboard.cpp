// The program without a mouse: menus by Alt and their letter or by F10, help by F1, the
// focused button pressed by Enter, and the usual shortcuts of the file commands.
#include "app/MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace {
// Enter and Return press the button that has the focus, as Space does, in every window but
// the dialogs (there they press the default button, as they should).
class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(e);
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (!button || (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            key->modifiers() & ~Qt::KeypadModifier || qobject_cast<QDialog*>(button->window()) ||
            !button->isEnabled())
            return false;
        button->click();
        return true;
    }
};
} // namespace

void TMainFrm::openHelpOfUser() {
    if (QLocale().language() == QLocale::Russian)
        RussianHelpClick();
    else
        EnglishHelpClick();
}

void TMainFrm::connectKeyboard() {
    qApp->installEventFilter(new EnterPresses(this));
    auto* help =
        new QShortcut(QKeySequence(Qt::Key_F1), this, nullptr, nullptr, Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, [this] { guarded([this] { openHelpOfUser(); }); });
    auto* menus = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menus, &QShortcut::activated, this, [this] {
        for (QAction* menu : menuBar->actions())
            if (menu->menu() && menu->isEnabled()) {
                menuBar->setActiveAction(menu);
                return;
            }
    });
    // The menu shows the keys as text only: an action of the menu bound to its key as well
    // would be a second one on that key wherever the menu bar holds the focus (after Esc out
    // of a menu), and Qt fires neither of two. The program's own shortcut acts, whichever of
    // its windows is active (the console's terminal keeps the control keys it types), and only
    // while the item could be chosen from its menu (not during a scan, a load or a console).
    const QList<std::pair<QAction*, QKeySequence>> keys{
        {itmSaveConfig, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {itmLoadConfig, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {itmSaveMod, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {itmLoadModule, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
        {itmExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {itmLineMonitor, QKeySequence(Qt::CTRL | Qt::Key_L)},
    };
    for (const auto& [item, key] : keys) {
        item->setText(item->text() + QLatin1Char('\t') + key.toString(QKeySequence::NativeText));
        auto* shortcut = new QShortcut(key, this, nullptr, nullptr, Qt::ApplicationShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, item = item] {
            const auto* menu = qobject_cast<QMenu*>(item->parent());
            if (item->isEnabled() && item->isVisible() &&
                (!menu || menu->menuAction()->isEnabled()))
                item->trigger();
        });
    }
}
