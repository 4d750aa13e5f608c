#pragma once

#include "EngineService.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class ServiceConfFile;

/// The engines as the dialog edits them: their order, on or off, and the settings of their sections. Read from
/// the settings file and the service's report, written back to the file as far as the operator changed them.
class EnginesModel
{
public:
    struct Row {
        QString id;
        QString name;
        bool enabled = true;
        /// The settings the dialog shows for it, in the order shown.
        QStringList fields;
        QMap<QString, QString> values;
        /// As the service reported it; ready stays true until a report says otherwise.
        bool online = false;
        bool ready = true;
        QString why;
    };

    /// Every engine id, in the order they are tried unless the settings say otherwise.
    static const QStringList& defaultOrder();
    /// What the settings of one field are called in the dialog.
    static QString fieldLabel(const QString& field);

    /// Takes the order, the switches and the values from the file.
    void load(const ServiceConfFile& file);
    /// Takes names, readiness and fields from the service; its order too, while the file sets none and the
    /// operator has moved nothing.
    void applyReport(const EnginesReport& report);

    const QList<Row>& rows() const { return m_rows; }
    void move(qsizetype row, int by);
    void setEnabled(qsizetype row, bool enabled);
    void setValue(qsizetype row, const QString& field, const QString& value);

    /// Writes what differs from what was loaded into file; true when anything did.
    bool writeTo(ServiceConfFile& file) const;
    /// Now what was loaded: after a save.
    void markSaved();

private:
    QStringList order() const;

    QList<Row> m_rows;
    QList<Row> m_loaded;
    bool m_fileHasOrder = false;
};
