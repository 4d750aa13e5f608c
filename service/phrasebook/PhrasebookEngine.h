#pragma once

#include "Engine.h"

#include <QObject>

#include <memory>

namespace service {

class Phrasebook;

/// Translates a line sentence by sentence: a sentence the phrasebook knows (whole, or every clause of it between
/// commas) is written from the phrasebook, offline; the others go, as they stand together, to the engines behind;
/// the line is put back in order with its own spacing. Its route id is "phrasebook".
class PhrasebookEngine : public QObject, public Engine
{
    Q_OBJECT
public:
    /// rest: the engines for the sentences the phrasebook does not know; not owned. Either may be null.
    PhrasebookEngine(std::shared_ptr<const Phrasebook> phrasebook, Engine* rest, QObject* parent = nullptr);
    ~PhrasebookEngine() override;

    void translate(const QString& text, const QString& source, const QString& target, Callback done) override;
    QStringList pairs() const override;
    PairSupport supports(const QString& source, const QString& target) const override;
    void queryLanguages(std::function<void()> done) override;

    /// The sentence from the phrasebook in target, or empty when it does not know it. detected: the language it
    /// was found in.
    QString phrase(const QString& sentence, const QString& source, const QString& target, QString* detected) const;

    const Phrasebook* phrasebook() const { return m_phrasebook.get(); }

private:
    std::shared_ptr<const Phrasebook> m_phrasebook;
    Engine* m_rest;
};

} // namespace service
