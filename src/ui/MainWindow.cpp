#include "ui/MainWindow.h"

#include <qdrawutil.h>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextEdit>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// Resources of a static library must be registered by hand, outside any namespace.
static void InitAssets() { Q_INIT_RESOURCE(assets); }

namespace quorvel {
namespace {

constexpr int kClientWidth = 346;
constexpr int kClientHeight = 262;
constexpr Qt::WindowFlags kTrimmedFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;

// A push button that paints its own background colour, flat with a raised edge, and wraps
// its caption over several lines: the style's own bevel would hide or shade the colour.
class ColourButton : public QPushButton {
  public:
    ColourButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

    void setFaceColour(const QColor& colour) {
        QPalette pal = palette();
        pal.setColor(QPalette::Button, colour);
        setPalette(pal);
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QBrush face = palette().brush(QPalette::Button);
        qDrawWinButton(&painter, rect(), palette(), isDown(), &face);
        QRect textRect = rect().adjusted(4, 4, -4, -4);
        if (isDown()) textRect.translate(1, 1);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::ButtonText));
        painter.drawText(textRect, Qt::AlignCenter | Qt::TextWordWrap, text());
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(4, 4, -4, -4);
            focus.backgroundColor = palette().color(QPalette::Button);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
};

// A list-only drop-down that can refresh its entries just before its list opens.
class SelectorBox : public QComboBox {
  public:
    explicit SelectorBox(QWidget* parent) : QComboBox(parent) { setEditable(false); }

    std::function<void()> beforePopup;

    void showPopup() override {
        if (beforePopup) beforePopup();
        QComboBox::showPopup();
    }
};

QFont TimesNewRoman(double pointSize, bool bold) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

// Engine texts are Latin-1 and join lines with CR LF; the text box wants bare line feeds.
QString ForDisplay(const std::string& text) {
    QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

void SetBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette pal = widget->palette();
    pal.setColor(role, colour);
    widget->setPalette(pal);
}

QLabel* MakeLabel(const QString& name, const QString& text, const QRect& rect, double pointSize,
                  QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(rect);
    label->setFont(TimesNewRoman(pointSize, false));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

MainWindow::MainWindow(int timerIntervalMs, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("\u300A Quorvel \u300B"));
    setFixedSize(kClientWidth, kClientHeight);
    TrimSystemMenu();
    setAutoFillBackground(true);
    SetBackground(this, QPalette::Window, ToQColor(Colour::ButtonFace));
    // The window's own font shows nowhere: every control carries its own.
    setFont(QFont(QStringLiteral("PMingLiU"), 10));

    InitAssets();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/quorvel-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/quorvel-32.png"), QSize(32, 32));
    setWindowIcon(icon);

    createControls();
    createTimers(timerIntervalMs);
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls() {
    textError1_ = new QTextEdit(this);
    textError1_->setObjectName(QStringLiteral("Text_Error_1"));
    textError1_->setGeometry(12, 88, 199, 105);
    textError1_->setFont(TimesNewRoman(12, true));
    textError1_->setLineWrapMode(QTextEdit::WidgetWidth);
    textError1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textError1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textError1_->setAcceptRichText(false);
    textError1_->setTabChangesFocus(true);
    textError1_->setFocusPolicy(Qt::StrongFocus);
    SetBackground(textError1_, QPalette::Text, Qt::black);
    SetStatusColour(Colour::ButtonFace);
    SetStatusReadOnly();

    comExit_ = new QPushButton(QStringLiteral("Exit"), this);
    comExit_->setObjectName(QStringLiteral("Com_Exit"));
    comExit_->setGeometry(222, 136, 111, 57);
    comExit_->setFont(TimesNewRoman(12, false));
    connect(comExit_, &QPushButton::clicked, this, [this] {
        if (onExitClicked) onExitClicked();
    });

    cmdStart1_ = new ColourButton(QStringLiteral("Cold Start On/Off"), this);
    cmdStart1_->setObjectName(QStringLiteral("Cmd_Start_1"));
    cmdStart1_->setGeometry(222, 18, 113, 103);
    cmdStart1_->setFont(TimesNewRoman(14.25, true));
    SetStartButtonColour(Colour::ButtonFace);
    connect(cmdStart1_, &QPushButton::clicked, this, [this] {
        if (onStartClicked) onStartClicked();
    });

    frame5_ = new QGroupBox(this);
    frame5_->setObjectName(QStringLiteral("Frame5"));
    frame5_->setGeometry(12, 8, 199, 71);
    frame5_->setFont(TimesNewRoman(12, false));

    auto* port = new SelectorBox(frame5_);
    port->beforePopup = [this] { refreshPortToolTips(); };
    comPort6_ = port;
    comPort6_->setObjectName(QStringLiteral("ComPort_6"));
    comPort6_->setGeometry(90, 14, 81, 27);
    comPort6_->setFont(TimesNewRoman(12, false));

    baudRate6_ = new SelectorBox(frame5_);
    baudRate6_->setObjectName(QStringLiteral("BaudRate_6"));
    baudRate6_->setGeometry(90, 42, 81, 27);
    baudRate6_->setFont(TimesNewRoman(12, false));
    SetSelectorColours(Colour::WindowColour);

    MakeLabel(QStringLiteral("Label2"), QStringLiteral("COM Port\uFF1A"), {8, 20, 83, 17}, 12,
              frame5_);
    MakeLabel(QStringLiteral("Label3"), QStringLiteral("BaudRate\uFF1A"), {10, 44, 81, 17}, 12,
              frame5_);
    label1_ = MakeLabel(QStringLiteral("Label1"), QString(), {12, 206, 199, 39}, 14.25, this);
    label1_->setWordWrap(true);

    // Labels and the frame take no focus, so the focus cycles through these five.
    setTabOrder(textError1_, baudRate6_);
    setTabOrder(baudRate6_, comPort6_);
    setTabOrder(comPort6_, cmdStart1_);
    setTabOrder(cmdStart1_, comExit_);
    textError1_->setFocus();
}

void MainWindow::createTimers(int intervalMs) {
    const std::pair<TimerId, QTimer**> timers[] = {{TimerId::Timer1, &timer1_},
                                                   {TimerId::Timer, &timer_},
                                                   {TimerId::Timer_Start, &timerStart_},
                                                   {TimerId::Timer_PF, &timerPf_}};
    const char* names[] = {"Timer1", "Timer", "Timer_Start", "Timer_PF"};
    int i = 0;
    for (const auto& [id, slot] : timers) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(names[i++]));
        timer->setInterval(intervalMs);
        connect(timer, &QTimer::timeout, this, [this, id = id] {
            if (onTimerTick) onTimerTick(id);
        });
        *slot = timer;
    }
    timerPf_->start();
}

void MainWindow::refreshPortToolTips() {
    if (!portToolTip) return;
    for (int i = 0; i < comPort6_->count(); ++i) {
        comPort6_->setItemData(i, portToolTip(comPort6_->itemText(i)), Qt::ToolTipRole);
    }
}

void MainWindow::AllowClose() { closeAllowed_ = true; }

void MainWindow::closeEvent(QCloseEvent* event) {
    // The window manager's close and Alt+F4 are refused: Exit is the way out.
    if (closeAllowed_) {
        event->accept();
    } else {
        event->ignore();
    }
}

// ---- Display ----

void MainWindow::SetStatusText(const std::string& text) {
    statusText_ = text;
    textError1_->setPlainText(ForDisplay(text));
}

std::string MainWindow::StatusText() const { return statusText_; }

void MainWindow::SetStatusColour(Colour colour) {
    SetBackground(textError1_, QPalette::Base, ToQColor(colour));
}

void MainWindow::ShowStatus() { textError1_->show(); }

void MainWindow::SetStatusReadOnly() {
    textError1_->setReadOnly(true);
    textError1_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void MainWindow::SetLabel1(const std::string& text) { label1_->setText(ForDisplay(text)); }

void MainWindow::SetStartButtonColour(Colour colour) {
    static_cast<ColourButton*>(cmdStart1_)->setFaceColour(ToQColor(colour));
}

void MainWindow::SetSelectorColours(Colour colour) {
    const QColor qcolour = ToQColor(colour);
    for (QComboBox* box : {comPort6_, baudRate6_}) {
        // The closed box paints from Button, its list from Base: both show the colour.
        QPalette pal = box->palette();
        pal.setColor(QPalette::Base, qcolour);
        pal.setColor(QPalette::Button, qcolour);
        box->setPalette(pal);
    }
}

void MainWindow::SetFrame5Enabled(bool enabled) { frame5_->setEnabled(enabled); }

QComboBox* MainWindow::selectorFor(Selector selector) const {
    return selector == Selector::ComPort_6 ? comPort6_ : baudRate6_;
}

void MainWindow::AddSelectorEntry(Selector selector, const std::string& text) {
    QComboBox* box = selectorFor(selector);
    // A list-only box selects its first entry by itself; here nothing is selected until asked.
    const int selected = box->currentIndex();
    box->addItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    box->setCurrentIndex(selected);
}

bool MainWindow::SelectSelectorEntry(Selector selector, const std::string& text) {
    QComboBox* box = selectorFor(selector);
    const QString wanted = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i) == wanted) {
            box->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

namespace {
std::string SelectedText(const QComboBox* box) {
    if (box->currentIndex() < 0) return {};
    return box->itemText(box->currentIndex()).toLatin1().toStdString();
}
}  // namespace

std::string MainWindow::SelectedPort() const { return SelectedText(comPort6_); }

std::string MainWindow::SelectedBaud() const { return SelectedText(baudRate6_); }

QTimer* MainWindow::timerFor(TimerId timer) const {
    switch (timer) {
        case TimerId::Timer1:
            return timer1_;
        case TimerId::Timer:
            return timer_;
        case TimerId::Timer_Start:
            return timerStart_;
        case TimerId::Timer_PF:
            return timerPf_;
    }
    return timerPf_;
}

void MainWindow::SetTimerEnabled(TimerId timer, bool enabled) {
    QTimer* qtimer = timerFor(timer);
    if (!enabled) {
        qtimer->stop();
    } else if (!qtimer->isActive()) {
        qtimer->start();  // a running timer keeps its rhythm
    }
}

bool MainWindow::TimerEnabled(TimerId timer) const { return timerFor(timer)->isActive(); }

QColor MainWindow::ToQColor(Colour colour) {
    switch (colour) {
        case Colour::ButtonFace:
            return QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
        case Colour::WindowColour:
            return QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
        case Colour::Red:
            return QColor(255, 0, 0);
        case Colour::Green:
            return QColor(0, 255, 0);
        case Colour::Grey:
            return QColor(170, 170, 170);
    }
    return {};
}

// ---- WindowDecoration ----

void MainWindow::TrimSystemMenu() {
    if (windowFlags() != kTrimmedFlags) {
        const bool wasVisible = isVisible();
        setWindowFlags(kTrimmedFlags);  // hides the window
        if (wasVisible) show();
    }
#ifdef Q_OS_WIN
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
    }
#endif
}

void MainWindow::FadeIn() {
    fadeSteps_.clear();
    hide();
    std::vector<int> alphas;
    for (int alpha = 0; alpha <= 255; alpha += 60) alphas.push_back(alpha);
    alphas.push_back(255);
    for (int alpha : alphas) {
#ifdef Q_OS_WIN
        const HWND hwnd = reinterpret_cast<HWND>(winId());
        SetWindowLongA(hwnd, GWL_EXSTYLE, GetWindowLongA(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
        SetLayeredWindowAttributes(hwnd, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
#endif
        const double opacity = alpha / 255.0;
        setWindowOpacity(opacity);
        fadeSteps_.push_back(opacity);
        show();
        repaint();
    }
}

}  // namespace quorvel
