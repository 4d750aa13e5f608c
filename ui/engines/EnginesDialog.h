#pragma once

#include "EnginesModel.h"
#include "ServiceConfFile.h"

#include <QDialog>
#include <QMap>

class EngineService;
class QDialogButtonBox;
class QGroupBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

/// "Translation engines": the engines in the order they are tried, switched on or off, with their settings; a
/// sample tried through one of them; which engines serve each language; saving into verbolt-service.conf, which
/// the running service then reads again. Nothing in it waits: the service's answers come from the event loop.
class EnginesDialog : public QDialog
{
    Q_OBJECT
public:
    /// service must outlive the dialog. from and to are the codes of the operator's and the partner's language,
    /// for the sample and the table of languages.
    EnginesDialog(EngineService* service, const QString& confPath, const QString& from, const QString& to,
        QWidget* parent = nullptr);
    ~EnginesDialog() override;

    /// Asks the service again what it serves.
    void refresh();
    /// Writes the file and asks the service to take it.
    void save();
    /// Tries the sample through the selected engine with its settings as typed.
    void trySelected();

signals:
    /// The service has answered a save, with an empty refusal when it took the file.
    void saved(const QString& refusal);
    void tried();
    void reported();

private:
    void fillList();
    void showSelected();
    void showReport(const EnginesReport& report);
    void setStatus(const QString& text);
    int selected() const;

    EngineService* m_service;
    QString m_from;
    QString m_to;
    ServiceConfFile m_file;
    EnginesModel m_model;
    bool m_filling = false;

    QListWidget* m_list = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QGroupBox* m_settings = nullptr;
    QFormLayout* m_form = nullptr;
    QLabel* m_readiness = nullptr;
    QMap<QString, QLineEdit*> m_fields;
    QLineEdit* m_sample = nullptr;
    QPushButton* m_try = nullptr;
    QLabel* m_tryResult = nullptr;
    QTableWidget* m_languages = nullptr;
    QLabel* m_status = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
