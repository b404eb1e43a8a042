#include "app/TFormOptions.h"

#include "transfers/TransferSettings.h"
#include "widgets/DialogParts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

using DialogParts::named;

TFormOptions::TFormOptions(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormOptions"));
    setWindowTitle(tr("Options"));
    setModal(true);
    SpinSimultaneous = named(new QSpinBox, "SpinSimultaneous");
    SpinSimultaneous->setRange(
        TransferSettings::kFewestSimultaneous, TransferSettings::kMostSimultaneous);
    auto *label = named(new QLabel(tr("&Simultaneous transfers:")), "LabelSimultaneous");
    label->setBuddy(SpinSimultaneous);
    auto *hint
        = named(new QLabel(tr("Each transfer runs on a connection of its own.")), "LabelHint");
    hint->setEnabled(false);
    ButtonOK = named(new QPushButton(tr("OK")), "ButtonOK");
    ButtonCancel = named(new QPushButton(tr("Cancel")), "ButtonCancel");
    ButtonOK->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(SpinSimultaneous, 0, 1);
    grid->addWidget(hint, 1, 0, 1, 2);
    grid->setRowMinimumHeight(2, 8);
    grid->addLayout(DialogParts::buttonRow(ButtonOK, ButtonCancel), 3, 0, 1, 2);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border

    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFormOptions::edit(TransferSettings &settings)
{
    const int before = settings.simultaneousTransfers();
    SpinSimultaneous->setValue(before);
    if (exec() != QDialog::Accepted || SpinSimultaneous->value() == before)
        return false;
    settings.setSimultaneousTransfers(SpinSimultaneous->value());
    return true;
}

void TFormOptions::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    SpinSimultaneous->setFocus();
    SpinSimultaneous->selectAll();
}
