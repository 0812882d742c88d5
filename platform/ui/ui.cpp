#include "platform/ui/ui.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#endif

namespace qv::ui {
namespace {
MessageSink& sink() {
    static MessageSink s;
    return s;
}
FileOpener& opener() {
    static FileOpener o;
    return o;
}
}  // namespace

QString applicationNameFromPath(const QString& executablePath) {
    QString name = executablePath;
    const qsizetype slash = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    name = name.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationName() {
    const QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    return applicationNameFromPath(path.isEmpty() ? QStringLiteral("wQuorvela") : path);
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.') return message + QLatin1Char('.');
    return message;
}

void setMessageSink(MessageSink s) { sink() = std::move(s); }

void showError(const QString& message) {
    const QString text = errorBoxText(message);
    if (sink()) {
        sink()(applicationName(), text);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), applicationName(), text, QMessageBox::Ok);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // The windows are laid out in pixels for the Windows fonts. Where those are missing, a narrow face
    // keeps captions inside their buttons better than the wide default would.
    const QStringList narrow = {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                                QStringLiteral("Arial Narrow"), QStringLiteral("Arial")};
    for (const char* family : {"Segoe UI", "Tahoma", "MS Sans Serif"})
        if (!QFontDatabase::hasFamily(QString::fromLatin1(family)))
            QFont::insertSubstitutions(QString::fromLatin1(family), narrow);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
    return false;
}

namespace {
// Keeps a child's distances to the anchored edges of its parent as the parent resizes.
class Anchorer : public QObject {
public:
    Anchorer(QWidget* w, int anchors) : QObject(w), w_(w), anchors_(anchors) {
        QWidget* p = w->parentWidget();
        right_ = p->width() - w->geometry().right();
        bottom_ = p->height() - w->geometry().bottom();
        p->installEventFilter(this);
    }
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() == QEvent::Resize && w_ && obj == w_->parentWidget()) apply();
        return false;
    }

private:
    void apply() {
        QWidget* p = w_->parentWidget();
        QRect g = w_->geometry();
        if (anchors_ & AnchorRight) {
            if (anchors_ & AnchorLeft)
                g.setRight(p->width() - right_);
            else
                g.moveRight(p->width() - right_);
        }
        if (anchors_ & AnchorBottom) {
            if (anchors_ & AnchorTop)
                g.setBottom(p->height() - bottom_);
            else
                g.moveBottom(p->height() - bottom_);
        }
        w_->setGeometry(g);
    }
    QPointer<QWidget> w_;
    int anchors_;
    int right_ = 0, bottom_ = 0;
};
}  // namespace

void place(QWidget* w, int left, int top, int width, int height) {
    if (width < 0 || height < 0) {
        w->adjustSize();
        if (width < 0) width = w->width();
        if (height < 0) height = w->height();
    }
    w->setGeometry(left, top, width, height);
}

void anchor(QWidget* w, int anchors) {
    if (w->parentWidget() && (anchors & (AnchorRight | AnchorBottom))) new Anchorer(w, anchors);
}

void setClientSize(QWidget* window, int width, int height) { window->resize(width, height); }

QString appDataFolder() {
    QString folder;
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path))) folder = QString::fromWCharArray(path);
#else
    folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) folder = QDir::homePath() + QStringLiteral("/.config");
#endif
    folder = QDir::cleanPath(folder);
    QDir().mkpath(folder);
    return folder;
}

void setFileOpener(FileOpener o) { opener() = std::move(o); }

bool openWithDesktop(const QString& path) {
    if (opener()) return opener()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace qv::ui
