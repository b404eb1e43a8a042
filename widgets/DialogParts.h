#pragma once

#include "widgets/ByteLimitValidator.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

// Pieces the program's dialogs build alike.
namespace DialogParts {

// `widget` under its layout name, the name tests find it by.
template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The dialog's buttons at the right end of a row of their own, in this order.
inline QHBoxLayout *buttonRow(QPushButton *first, QPushButton *second)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(first);
    row->addWidget(second);
    return row;
}

// A one-line field; with maxBytes > 0 it holds at most that many UTF-8 bytes.
inline QLineEdit *lineField(QWidget *parent, const char *name, int maxBytes)
{
    auto *edit = named(new QLineEdit(parent), name);
    if (maxBytes > 0)
        edit->setValidator(new ByteLimitValidator(maxBytes, edit));
    return edit;
}

// The sunken picture at the left of a site's fields.
inline QLabel *pictureBox(QWidget *parent, const QPixmap &pixmap)
{
    auto *picture = new QLabel(parent);
    picture->setPixmap(pixmap);
    picture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    picture->setFixedWidth(96);
    picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return picture;
}

} // namespace DialogParts
