#include "PlayPanel.h"

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
