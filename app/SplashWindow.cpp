// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SplashWindow.h"

#include "app/Artwork.h"
#include "drill/Widgets.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <utility>

SplashWindow::SplashWindow(QWidget *parent) : QWidget(parent, Qt::FramelessWindowHint) {
    setObjectName("frmSplash");
    setAccessibleName("Tonvik");
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_DeleteOnClose, false);

    frame = new QFrame(this);
    frame->setObjectName("Frame1");
    frame->setFrameShape(QFrame::Box);
    frame->setLineWidth(2);
    frame->installEventFilter(this);
    frame->setCursor(Qt::PointingHandCursor);

    auto *picture = makeLabel("Image1", QString());
    picture->setPixmap(tonvikPicture({170, 170}));
    picture->setAccessibleName("Tonvik picture");

    auto *product = makeLabel("lblProductName", "Tonvik");
    product->setFont(displayFont(40));
    auto *version = makeLabel("lblVersion", "1.0");
    version->setFont(displayFont(20));
    auto *credit = makeLabel("lblCompany", "Written by the Tonvik developers, for musicians");
    credit->setFont(displayFont(12));
    auto *contact =
        makeLabel("lblContact", "Ideas and bug reports are welcome on the project page");
    contact->setFont(serifFont(10));
    auto *prompt = makeLabel("lblHit", "Hit a button !");
    prompt->setFont(displayFont(16));
    soundStatus_ = makeLabel("soundstatus", QString());
    soundStatus_->setWordWrap(true);
    soundStatus_->setStyleSheet("color: rgb(170, 0, 0);");
    soundStatus_->hide();

    auto *texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addSpacing(12);
    texts->addWidget(credit);
    texts->addWidget(contact);
    texts->addStretch(1);
    texts->addWidget(prompt, 0, Qt::AlignRight);

    auto *row = new QHBoxLayout;
    row->addWidget(picture, 0, Qt::AlignTop);
    row->addSpacing(16);
    row->addLayout(texts, 1);

    auto *inner = new QVBoxLayout(frame);
    inner->setContentsMargins(20, 20, 20, 20);
    inner->addLayout(row);
    inner->addWidget(soundStatus_);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->addWidget(frame);
    resize(600, 300);
}

void SplashWindow::showSoundProblem(const QString &text) {
    soundStatus_->setText(text);
    soundStatus_->setVisible(!text.isEmpty());
}

void SplashWindow::keyPressEvent(QKeyEvent *event) {
    event->accept();
    if (!event->isAutoRepeat())
        keyDown_ = true;
}

void SplashWindow::keyReleaseEvent(QKeyEvent *event) {
    event->accept();
    if (!event->isAutoRepeat() && std::exchange(keyDown_, false))
        onKeyPress();
}

bool SplashWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched != frame)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        frameDown_ = true;
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && std::exchange(frameDown_, false)) {
        if (frame->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint()))
            onFrameClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SplashWindow::onKeyPress() {
    leave();
}
void SplashWindow::onFrameClick() {
    leave();
}

void SplashWindow::leave() {
    if (left_)
        return;
    left_ = true;
    close();
    emit continueRequested();
}
