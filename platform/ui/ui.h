// What the program needs from the desktop beyond plain widgets: the top-level error handler and its
// message box, fixed placements with anchors, the application-data folder, and "open this file with the
// desktop's program". The last two and the message box are replaceable, so tests can run headless.
#pragma once

#include <QApplication>
#include <QRect>
#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace qv::ui {

// The name the program goes by: the executable's file name without its folder and without everything from
// its first ".", every character after the first in lower case ("wQuorvela.exe" -> "wquorvela").
QString applicationNameFromPath(const QString& executablePath);
QString applicationName();  // of the running executable

// An error's text as shown: a full stop added when the last character's code is above that of ".".
QString errorBoxText(const QString& message);

// Shows an error box captioned with the application name. Tests replace the way it is shown.
using MessageSink = std::function<void(const QString& caption, const QString& text)>;
void setMessageSink(MessageSink sink);   // an empty sink restores the message box
void showError(const QString& message);

// Runs f; an exception escaping it is shown by the error handler and goes no further.
template <class F>
void guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

// The application object: any exception that escapes an event handler reaches showError, and the program
// goes on with the window in the state the handler left it.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Fixed placements in pixels at 96 DPI (Qt scales them), and edges that follow the parent when it resizes.
enum Anchor { AnchorLeft = 1, AnchorTop = 2, AnchorRight = 4, AnchorBottom = 8 };
void place(QWidget* w, int left, int top, int width = -1, int height = -1);
void anchor(QWidget* w, int anchors);
void setClientSize(QWidget* window, int width, int height);

// The user's application-data folder (Windows: the roaming folder; elsewhere $XDG_CONFIG_HOME, else
// ~/.config), created when missing. Returns the path without a trailing separator.
QString appDataFolder();

// Asks the desktop to open a file with its default program; false when it could not. Replaceable.
using FileOpener = std::function<bool(const QString& path)>;
void setFileOpener(FileOpener opener);   // an empty opener restores the desktop's
bool openWithDesktop(const QString& path);

}  // namespace qv::ui
