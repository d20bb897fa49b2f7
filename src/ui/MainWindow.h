#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "engine/Display.h"
#include "link/WindowDecoration.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTextEdit;
class QTimer;

namespace quorvel {

// Form1: the whole operator interface. Controls carry their names as object names
// (Text_Error_1, Cmd_Start_1, Com_Exit, Frame5, ComPort_6, BaudRate_6, Label1, Label2, Label3)
// and the four timers too (Timer1, Timer, Timer_Start, Timer_PF).
class MainWindow : public QWidget, public Display, public WindowDecoration {
    Q_OBJECT

public:
    // The product always ticks every 1000 ms; tests may pass a shorter interval.
    explicit MainWindow(int timerIntervalMs = 1000, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Where clicks and ticks go. Unset handlers do nothing.
    std::function<void()> onStartClicked;
    std::function<void()> onExitClicked;
    std::function<void(TimerId)> onTimerTick;
    // Tooltip for a port entry ("COM 7"), asked each time the list opens.
    std::function<QString(const QString& entry)> portToolTip;

    // Lets the next close through: Exit is the only way out.
    void AllowClose();

    // Display
    void SetStatusText(const std::string& text) override;
    std::string StatusText() const override;
    void SetStatusColour(Colour colour) override;
    void ShowStatus() override;
    void SetStatusReadOnly() override;
    void SetLabel1(const std::string& text) override;
    void SetStartButtonColour(Colour colour) override;
    void SetSelectorColours(Colour colour) override;
    void SetFrame5Enabled(bool enabled) override;
    void AddSelectorEntry(Selector selector, const std::string& text) override;
    bool SelectSelectorEntry(Selector selector, const std::string& text) override;
    std::string SelectedPort() const override;
    std::string SelectedBaud() const override;
    void SetTimerEnabled(TimerId timer, bool enabled) override;
    bool TimerEnabled(TimerId timer) const override;

    // WindowDecoration
    void TrimSystemMenu() override;
    void FadeIn() override;

    // The colour a named colour stands for on this platform.
    static QColor ToQColor(Colour colour);
    // The opacities FadeIn went through, in order (for the tests).
    const std::vector<double>& FadeSteps() const { return fadeSteps_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createTimers(int intervalMs);
    void refreshPortToolTips();
    QComboBox* selectorFor(Selector selector) const;
    QTimer* timerFor(TimerId timer) const;

    QTextEdit* textError1_ = nullptr;
    QPushButton* comExit_ = nullptr;
    QPushButton* cmdStart1_ = nullptr;
    QGroupBox* frame5_ = nullptr;
    QComboBox* comPort6_ = nullptr;
    QComboBox* baudRate6_ = nullptr;
    QLabel* label1_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* timer_ = nullptr;
    QTimer* timerStart_ = nullptr;
    QTimer* timerPf_ = nullptr;
    bool closeAllowed_ = false;
    std::vector<double> fadeSteps_;
    // The status text exactly as set (Latin-1, CR LF kept); the box shows it converted.
    std::string statusText_;
};

}  // namespace quorvel
