#include "ui/window/main_window.h"

#include "settings/decode_settings.h"
#include "ui/ini_file.h"
#include "ui/page_values.h"
#include "ui/run_texts.h"
#include "ui/window/convert_page.h"
#include "ui/window/options_page.h"
#include "ui/window/settings_page.h"
#include "ui/window/window_look.h"
#include "ui/window_places.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QUrl>

namespace pagelift::window {

MainWindow::MainWindow(WindowSetup setup, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      setup_(std::move(setup))
{
    if (!setup_.openUrl) setup_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    if (!setup_.openPreview) setup_.openPreview = openFaxForPreview;
    setWindowTitle(QStringLiteral("Zoziv Pagelift"));
    setWindowIcon(QIcon(QStringLiteral(":/pagelift/pagelift.png")));
    paintWidget(*this, colours::mainWindow, colours::mainEdit);
    const DialogGeometry geometry(font());
    startSize_ = QSize(geometry.pixelsX(395), geometry.pixelsY(228));
    setMinimumSize(startSize_);
    resize(startSize_);

    auto* help = new QPushButton(QStringLiteral("&Help"), this);
    growing_.place(*help, geometry, 338, 14, 50, 14, Follow::Right);
    auto* about = new QPushButton(QStringLiteral("&About"), this);
    growing_.place(*about, geometry, 338, 39, 50, 14, Follow::Right);
    tabs_ = new QTabWidget(this);
    growing_.place(*tabs_, geometry, 7, 5, 325, 216, Follow::Size);
    for (QPushButton* button : {help, about}) button->setAutoDefault(false);
    connect(help, &QPushButton::clicked, this, &MainWindow::showHelp);
    connect(about, &QPushButton::clicked, this, &MainWindow::showAbout);

    // Each page reads its own section when it is created.
    const IniFile stored = IniFile::load(setup_.settingsFile);
    convertPage_ = new ConvertPage(readMainSection(stored), setup_.convert, setup_.stopWait,
                                   automaticConversionLockPath(setup_.settingsFile), setup_.openUrl,
                                   setup_.openPreview);
    connect(convertPage_, &ConvertPage::automaticConversionChanged, this, &MainWindow::updateTrayTip);
    convertPage_->setLog(setup_.logPath, setup_.logFolderCreation);
    convertPage_->controller().jobs = setup_.jobs;
    DecodeSettings current = setup_.decode;
    current.decodeMode = 1;
    convertPage_->controller().decode = DecodeSetup{current, setup_.workingFiles};
    optionsPage_ = new OptionsPage(readOptionsSection(stored), [this](int32_t minutes, int32_t enabled) {
        return convertPage_->setAutoConvert(minutes, enabled);
    });
    settingsPage_ = new SettingsPage(readSettingsSection(stored, current), current.resolution);

    const QStyle* style = QApplication::style();
    tabs_->addTab(convertPage_, style->standardIcon(QStyle::SP_MediaPlay), QStringLiteral("Convert"));
    tabs_->addTab(optionsPage_, style->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("Options"));
    tabs_->addTab(settingsPage_, style->standardIcon(QStyle::SP_DriveHDIcon), QStringLiteral("Settings"));
    tabs_->setCurrentIndex(0);
    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::onTabChanged);
    syncPages();
    optionsPage_->resumeAutomaticConversion();

    buildTray();
    trayWatch_.setInterval(2000);
    connect(&trayWatch_, &QTimer::timeout, this, [this] {
        if (isHidden() && (tray_ == nullptr || !tray_->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())) {
            restore();
        }
    });
    endWatch_.setInterval(50);
    connect(&endWatch_, &QTimer::timeout, this, &MainWindow::continueEnd);

    if (const QScreen* screen = QApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

MainWindow::~MainWindow()
{
    if (tray_ != nullptr) tray_->hide();
}

void MainWindow::buildTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;  // the window works without it
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip(trayTip());
    auto* menu = new QMenu(this);
    QAction* open = menu->addAction(QStringLiteral("&Open..."));
    QFont bold = open->font();
    bold.setBold(true);
    open->setFont(bold);
    menu->setDefaultAction(open);
    QAction* about = menu->addAction(QStringLiteral("&About..."));
    QAction* exit = menu->addAction(QStringLiteral("E&xit"));
    // Nothing the tray asks for may run under an open dialog.
    connect(open, &QAction::triggered, this, [this] { if (!dialogOpen()) restore(); });
    connect(about, &QAction::triggered, this, [this] { if (!dialogOpen()) showAbout(); });
    connect(exit, &QAction::triggered, this, [this] { if (!dialogOpen()) requestEnd(1); });
    tray_->setContextMenu(menu);
    // Trays that speak StatusNotifierItem report a click, others a double click.
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if ((reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) && !dialogOpen()) {
            restore();
        }
    });
    tray_->show();
}

bool MainWindow::dialogOpen() const
{
    return QApplication::activeModalWidget() != nullptr;
}

void MainWindow::syncPages()
{
    optionsPage_->readControls();
    convertPage_->setChoices(runChoicesOf(optionsPage_->values()));
    settingsPage_->applySettings(convertPage_->controller().decode.settings);
    convertPage_->saveBoxes();
    convertPage_->loadBoxes();
}

void MainWindow::onTabChanged(int index)
{
    if (index == 0) syncPages();
}

void MainWindow::restore()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    trayWatch_.stop();
}

QString MainWindow::trayTip() const
{
    const std::string note = convertPage_->nextRunNote();
    return toQt(trayTipText(note.empty() ? std::string() : convertPage_->watchedFolder(), note));
}

void MainWindow::updateTrayTip()
{
    if (tray_ != nullptr) tray_->setToolTip(trayTip());
}

void MainWindow::showHelp()
{
    const auto tell = [this](const QString& text) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Help"), text, QMessageBox::Ok, this);
        box.exec();
    };
    const std::string page = helpPagePath(setup_.programPath);
    if (page.empty()) {
        tell(QStringLiteral("The help page pagelift.html was found neither beside the program nor in "
                            "share/doc/pagelift."));
        return;
    }
    if (!setup_.openUrl(QUrl::fromLocalFile(toQt(page)))) {
        tell(QStringLiteral("No web browser could be started to show the help page. It is the file\n%1")
                 .arg(toQt(page)));
    }
}

void MainWindow::showAbout()
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("About Zoziv Pagelift"),
                    QStringLiteral("Zoziv Pagelift %1\n\nConverts received fax documents into JPEG images, one page "
                                   "per file.")
                        .arg(QStringLiteral(PAGELIFT_VERSION)),
                    QMessageBox::Ok, this);
    box.setIconPixmap(windowIcon().pixmap(48, 48));
    box.exec();
}

void MainWindow::requestEnd(int exitCode)
{
    if (ending()) return;
    endCode_ = exitCode;
    // Queued: whatever asked for the end (a menu, a dialog's button) unwinds first.
    QMetaObject::invokeMethod(this, &MainWindow::continueEnd, Qt::QueuedConnection);
}

void MainWindow::continueEnd()
{
    if (dialogOpen()) {
        // A signal or the session's end cannot wait for the user: the dialog
        // is closed, and the end goes on once it has unwound.
        if (endCode_ >= 128) QApplication::activeModalWidget()->close();
        endWatch_.start();  // try again once the dialog has closed
        return;
    }
    if (!convertPage_->stopForEnd()) {
        endWatch_.start();  // the window keeps working while the worker finishes its file
        return;
    }
    endWatch_.stop();
    convertPage_->setAutoConvert(0, 0);
    storeSettings();
    if (tray_ != nullptr) tray_->hide();
    hide();
    emit ended(endCode_);
    QApplication::exit(endCode_);
}

bool MainWindow::storeSettings()
{
    IniFile file = IniFile::load(setup_.settingsFile);
    convertPage_->saveToSettings(file);
    optionsPage_->saveToSettings(file);
    settingsPage_->saveToSettings(file);
    return file.save(setup_.settingsFile);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Escape: requestEnd(2); return;
        case Qt::Key_Return:
        case Qt::Key_Enter: requestEnd(1); return;
        default: break;
        }
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int grownX = width() - startSize_.width();
    const int grownY = height() - startSize_.height();
    growing_.growBy(grownX, grownY);
    // The page grows as much as the tab control that holds it.
    if (convertPage_ != nullptr) convertPage_->growBy(grownX, grownY);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();  // the end closes the window once everything is stored
    requestEnd(2);
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
    // Hidden only while the tray icon can bring it back.
    if (tray_ != nullptr && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            hide();
            trayWatch_.start();
        });
    }
}

}  // namespace pagelift::window
