#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

/// Puts received characters together into lines: a line is complete at its line end, or once no character has
/// come for the pause.
class LineAssembler
{
public:
    explicit LineAssembler(std::chrono::milliseconds pause);

    /// Takes characters that arrived at now; returns the lines they complete, trimmed, empty ones left out.
    QStringList add(const QString& chars, std::chrono::milliseconds now);
    /// The line begun, once nothing has come for the pause up to now.
    std::optional<QString> idle(std::chrono::milliseconds now);

private:
    std::chrono::milliseconds m_pause;
    std::chrono::milliseconds m_last{0};
    QString m_line;
};
