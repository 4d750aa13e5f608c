#pragma once

#include <QList>
#include <QString>

namespace service {

/// A line cut into its sentences, so that each can be translated on its own and the line put back together with
/// exactly the spacing it had.
struct Sentences {
    struct Part {
        QString text; ///< the sentence, without the whitespace around it
        QString separator; ///< the whitespace after it
    };
    QString lead; ///< whitespace before the first sentence
    QList<Part> parts;

    /// Cuts after . ! ? … (and the CJK 。！？) followed by whitespace or the end, and at line breaks; never inside a
    /// protected word (14.074, https://qrz.com/db/EA4ABC).
    static Sentences split(const QString& line);
    /// Clauses of a sentence, cut at commas (",", "、", "，", "،"), each without its comma and spacing.
    static QStringList clauses(const QString& sentence);

    /// The line again.
    QString join() const;
};

} // namespace service
