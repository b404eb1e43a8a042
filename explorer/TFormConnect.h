#pragma once

#include "storage/SiteOptionsFile.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidgetItem;
class SiteBook;
class SiteTree;
struct TSiteRecord;

// The site dialog: a new entry of the site book, or an existing one edited.
class TFormConnect : public QDialog {
    Q_OBJECT
public:
    explicit TFormConnect(QWidget *parent = nullptr);

    void bind(SiteTree *tree, SiteBook *sites, SiteOptionsFile *options);
    // Set by the window: a site kept its host and login, but its server's
    // time zone changed (minutes east of UTC): times kept elsewhere follow.
    std::function<void(const QString &host, const QString &login, int from, int to)>
        timeZoneChanged;

    // "Ne&w..." and "&Edit...": fill the fields and show the dialog modally.
    void New1Click();
    void Edit1Click();

    void EditFTPChange();
    void EditDescEnter();
    void CheckAnonClick();
    void Button2Click();
    void Button1Click();

    QLineEdit *EditFTP, *EditDesc, *EditDir, *EditLogin, *EditPswd;
    QCheckBox *CheckAnon;
    // Shows the password as typed; off each time the dialog opens.
    QCheckBox *CheckShowPswd;
    QLabel *LabelLogin, *LabelPswd;
    QPushButton *Button2, *Button1;
    // Beyond the site record: kept in the site options file.
    QLabel *LabelProtocol, *LabelSecurity, *LabelTimeZone;
    QComboBox *ComboProtocol, *ComboSecurity, *ComboTimeZone;

    // "UTC", "UTC+05:30", "UTC-03:00".
    static QString timeZoneText(int minutes);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildFields();
    void enableCredentials(bool enabled);
    void hidePassword();
    QWidget *buildOptions();
    void fitHeight();
    void showOptions(const SiteOptions &shown);
    SiteOptions chosenOptions() const;
    QString selectedOrComboDescription() const;
    bool okInEditMode(const QString &d, TSiteRecord *&r, QTreeWidgetItem *&n);
    void save(const QString &d, TSiteRecord *r, QTreeWidgetItem *n);
    void followTimeZoneChange(const QString &host, const QString &login, int from);
    void putInCombos(const QString &d, bool replaceCurrent);

    SiteTree *tree = nullptr;
    SiteBook *sites = nullptr;
    SiteOptionsFile *options = nullptr;
};
