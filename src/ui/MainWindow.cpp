#include "ui/MainWindow.h"

#include "ui/AppIcon.h"
#include "ui/CanvasWidget.h"
#include "ui/ViewportWidget.h"
#include "ui/ControlWidgets.h"

#include "toolkit/Errors.h"
#include "toolkit/Screen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QWindow>

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <sys/stat.h>

#include <new>
#include <optional>

namespace {

// The folder a drop names: a dropped folder, or the folder a dropped file is in (the first local
// one of the drop); nothing for text, a remote address or a name that is gone.
std::optional<std::string> droppedFolder(const QMimeData* data) {
    if (!data || !data->hasUrls()) return std::nullopt;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const std::string path = QFile::encodeName(url.toLocalFile()).toStdString();
        struct stat st;
        if (path.empty() || path.front() != '/' || ::stat(path.c_str(), &st) != 0) continue;
        return S_ISDIR(st.st_mode) ? path : path.substr(0, std::max<size_t>(path.rfind('/'), 1));
    }
    return std::nullopt;
}

}  // namespace

MainWindow::MainWindow(frmQuiltwright& form, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_form(form), m_host(this) {
    setWindowTitle(QString::fromLatin1(frmQuiltwright::kCaption));
    setWindowIcon(appIcon());
    setAccessibleName(QString::fromLatin1(frmQuiltwright::kCaption));
    setFixedSize(ui::pixelsX(frmQuiltwright::kClientWidth), ui::pixelsY(frmQuiltwright::kClientHeight));
    m_previousCatcher = tk::setEventCatcher([this](const std::function<void()>& handler) { dispatch(handler); });
    m_form.setHost(&m_host);
    buildWidgets();
    setTabOrder();
    setAcceptDrops(true);
    // The text boxes take dropped text themselves, but a dropped folder is the window's.
    for (const tk::Control* box : {&m_form.txtWidth, &m_form.txtHeight}) widgetFor(box->Name())->installEventFilter(this);
    m_form.Load();
    if (QWidget* first = widgetFor(QStringLiteral("piclist"))) first->setFocus();
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Moved to a screen of another scale, picture pixels stay device pixels.
    if (QWindow* window = windowHandle(); window && !m_followsScreen) {
        m_followsScreen = true;
        connect(window, &QWindow::screenChanged, this, [this](QScreen* screen) {
            if (screen) tk::Screen::readFrom(*screen);
            m_canvas->update();
        });
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedFolder(event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (droppedFolder(event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::optional<std::string> folder = droppedFolder(event->mimeData());
    if (!folder) return;
    event->acceptProposedAction();
    tk::raiseEvent([this, path = *folder] { m_form.dir.openFolder(path); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (!droppedFolder(static_cast<QDropEvent*>(event)->mimeData())) return false;
        if (event->type() == QEvent::Drop) dropEvent(static_cast<QDropEvent*>(event));
        else static_cast<QDropEvent*>(event)->acceptProposedAction();
        return true;
    default: return QWidget::eventFilter(watched, event);
    }
}

MainWindow::~MainWindow() {
    tk::setEventCatcher(std::move(m_previousCatcher));
    for (tk::Control* control : m_form.controls()) control->observer = nullptr;
    m_form.setHost(nullptr);
}

void MainWindow::dispatch(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const tk::Cancelled&) {
        // The user cancelled: the command ends where it was, without a message.
    } catch (const tk::Error& e) {
        m_host.reportError(e.number(), e.description());
    } catch (const storage::Failure& failure) {
        const tk::Error e = tk::errorOf(failure);
        m_host.reportError(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        m_host.reportError(tk::kOutOfMemory, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        m_host.reportError(tk::kPathFileAccess, QString::fromLocal8Bit(e.what()));
    }
}

void MainWindow::buildWidgets() {
    frmQuiltwright& f = m_form;
    m_widgets[f.piclist.Name()] = ui::makeListBox(f.piclist, this);
    m_widgets[f.drv.Name()] = ui::makeDriveList(f.drv, this);
    m_widgets[f.dir.Name()] = ui::makeDirList(f.dir, this);
    m_widgets[f.cmdGetContents.Name()] = ui::makeButton(f.cmdGetContents, this);
    m_widgets[f.cmdCombine.Name()] = ui::makeButton(f.cmdCombine, this);
    m_widgets[f.cmdSave.Name()] = ui::makeButton(f.cmdSave, this);

    // The viewport shows the canvas in its inner area and scrolls it by wheel, keys and drag.
    auto* viewport = new ViewportWidget(f.picContainer, f.picMain, f.HScr, f.VScr, this);
    ui::bindGeometry(f.picContainer, viewport);
    m_widgets[f.picContainer.Name()] = viewport;
    m_canvas = viewport->canvas();
    ui::observe(f.picMain, [this](tk::Property p) {
        if (p == tk::Property::Image || p == tk::Property::Border || p == tk::Property::Geometry) m_canvas->update();
    });
    m_widgets[f.picMain.Name()] = m_canvas;

    m_widgets[f.HScr.Name()] = ui::makeScrollBar(f.HScr, this);
    m_widgets[f.VScr.Name()] = ui::makeScrollBar(f.VScr, this);
    m_widgets[f.txtWidth.Name()] = ui::makeTextBox(f.txtWidth, this);
    m_widgets[f.txtHeight.Name()] = ui::makeTextBox(f.txtHeight, this);
    m_widgets[f.lblWidth.Name()] = ui::makeLabel(f.lblWidth, this);
    m_widgets[f.lblHeight.Name()] = ui::makeLabel(f.lblHeight, this);
    m_widgets[f.chkDropFloor.Name()] = ui::makeCheckBox(f.chkDropFloor, this);
    // tmpPic is never seen: it has no widget, so nothing shows it or offers it to a screen reader.

    // Labels name their text boxes for screen readers, and every control has a name.
    static_cast<QLabel*>(m_widgets[f.lblWidth.Name()])->setBuddy(m_widgets[f.txtWidth.Name()]);
    static_cast<QLabel*>(m_widgets[f.lblHeight.Name()])->setBuddy(m_widgets[f.txtHeight.Name()]);
    const std::pair<const tk::Control*, const char*> names[] = {
        {&f.piclist, "Pictures found"},   {&f.drv, "Drives"},           {&f.dir, "Folders"},
        {&f.picContainer, "Picture view"}, {&f.picMain, "Combined picture"}, {&f.HScr, "Scroll across"},
        {&f.VScr, "Scroll up and down"},  {&f.txtWidth, "Width"},       {&f.txtHeight, "Height"}};
    for (const auto& [control, name] : names) m_widgets[control->Name()]->setAccessibleName(QString::fromLatin1(name));

    // The overlapping scroll bars stay on top of the viewport's edge.
    m_widgets[f.HScr.Name()]->raise();
    m_widgets[f.VScr.Name()]->raise();
}

void MainWindow::setTabOrder() {
    QWidget* previous = nullptr;
    for (tk::Control* control : m_form.controls()) {
        QWidget* widget = widgetFor(control->Name());
        if (!widget || widget->focusPolicy() == Qt::NoFocus) continue;
        if (previous) QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

QWidget* MainWindow::widgetFor(const QString& controlName) const {
    const auto it = m_widgets.find(controlName);
    return it == m_widgets.end() ? nullptr : it->second;
}
