#include "PlayPanel.h"

#include "AnimationPace.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QMenu>
#include <QToolButton>

PlayPanel::PlayPanel(QWidget* parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    setStyleSheet(QStringLiteral("background:transparent;"));
    setAttribute(Qt::WA_TranslucentBackground);
    connect(ui.playButton, &QToolButton::clicked, this, &PlayPanel::playClicked);
    connect(ui.forwardButton, &QToolButton::clicked, this, &PlayPanel::forward);
    connect(ui.backwardButton, &QToolButton::clicked, this, &PlayPanel::backward);
    ui.playButton->setToolTip(tr("Play or pause (Space)\nRight-click: speed ([ and ]) and loop"));
    ui.forwardButton->setToolTip(tr("Next step (Page Down or .)"));
    ui.backwardButton->setToolTip(tr("Previous step (Page Up or ,)"));
    buildPaceMenu();
}

void PlayPanel::buildPaceMenu()
{
    menu = new QMenu(this);
    // Not the panel's transparent background: as the window's other menus.
    menu->setStyleSheet(QStringLiteral(
        "QMenu { background: rgb(16, 74, 184); color: white; font-family: Helvetica; font-size: 11px; margin: 2px; } "
        "QMenu::item { padding: 2px 15px 2px 24px; border: 1px solid transparent; } "
        "QMenu::item:selected { border-color: darkblue; background: rgba(100, 100, 100, 150); }"));
    speeds = new QActionGroup(this);
    for (int speed : AnimationPace::kSpeeds) {
        QAction* action = menu->addAction(speed == 1 ? tr("Normal speed") : tr("%1\u00d7 speed").arg(speed));
        action->setCheckable(true);
        action->setData(speed);
        speeds->addAction(action);
        connect(action, &QAction::triggered, this, [this, speed] { emit speedChosen(speed); });
    }
    menu->addSeparator();
    loopAction = menu->addAction(tr("Loop"));
    loopAction->setCheckable(true);
    connect(loopAction, &QAction::triggered, this, &PlayPanel::loopToggled);
    showPace(1, false);
}

void PlayPanel::showPace(int speed, bool loop)
{
    for (QAction* action : speeds->actions())
        action->setChecked(action->data().toInt() == speed);
    loopAction->setChecked(loop);
}

void PlayPanel::contextMenuEvent(QContextMenuEvent* event)
{
    menu->popup(event->globalPos());
}

void PlayPanel::playClicked()
{
    setPlaying(!playing, true);
}

void PlayPanel::setPlaying(bool nowPlaying, bool emitSignal)
{
    if (nowPlaying) {
        ui.playButton->setIcon(QIcon(QStringLiteral(":/Skyvane/Resources/pause.png")));
        if (emitSignal)
            emit play();
        ui.backwardButton->hide();
        ui.forwardButton->hide();
    } else {
        ui.playButton->setIcon(QIcon(QStringLiteral(":/Skyvane/Resources/play.png")));
        if (emitSignal)
            emit pause();
        ui.backwardButton->show();
        ui.forwardButton->show();
    }
    playing = nowPlaying;
}
