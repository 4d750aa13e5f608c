// What the phrasebook costs at start (reading the TMX, indexing it, the first sentence) and per line afterwards,
// in process, in CPU time. Prints one "name value unit" line per measure; bench/phrasebook-start.py reads them.
// Usage: verbolt-phrasebook-bench [phrasebook.tmx] [lines.txt]; VERBOLT_BENCH_MISSES=1 lists the lines not served.
#include "phrasebook/Phrasebook.h"
#include "phrasebook/PhrasebookEngine.h"
#include "phrasebook/TmxReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// This thread's CPU time: on a machine shared with other work, wall time measures the others too.
qint64 cpuNs()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

class Timer
{
public:
    Timer() { start(); }
    void start() { m_start = cpuNs(); }
    qint64 nsecsElapsed() const { return cpuNs() - m_start; }

private:
    qint64 m_start = 0;
};

void print(const char* name, double value, const char* unit)
{
    std::printf("%s %.4f %s\n", name, value, unit);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : service::Phrasebook::shippedFile();
    QStringList lines;
    if (argc > 2) {
        QFile corpus(QString::fromLocal8Bit(argv[2]));
        if (corpus.open(QIODevice::ReadOnly)) {
            for (const QByteArray& row : corpus.readAll().split('\n')) {
                const QString line = QString::fromUtf8(row.split('\t').first()).trimmed();
                if (!line.isEmpty() && !line.startsWith(u'#'))
                    lines.append(line);
            }
        }
    }

    // Start: each step on a fresh phrasebook, 30 times.
    QList<double> readMs, indexMs, firstMs, totalMs;
    // Kept to the end: freeing one would charge the next run with the allocator's tidying.
    QList<std::shared_ptr<service::Phrasebook>> kept;
    QList<QList<service::PhraseUnit>> keptUnits;
    for (int run = 0; run < 30; ++run) {
        Timer timer;
        QString error;
        const auto units = service::TmxReader::read(file, &error);
        if (!units) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(error));
            return 1;
        }
        const qint64 read = timer.nsecsElapsed();
        auto book = std::make_shared<service::Phrasebook>();
        book->addUnits(*units);
        const qint64 indexed = timer.nsecsElapsed();
        const service::PhrasebookEngine engine(book, nullptr);
        const QString answer = engine.phrase(
            QStringLiteral("Good morning, my name is Hans."), QStringLiteral("en"), QStringLiteral("de"), nullptr);
        const qint64 first = timer.nsecsElapsed();
        if (answer.isEmpty()) {
            std::fprintf(stderr, "the first sentence was not served\n");
            return 1;
        }
        kept.append(book);
        keptUnits.append(*units);
        readMs.append(read / 1e6);
        indexMs.append((indexed - read) / 1e6);
        firstMs.append((first - indexed) / 1e6);
        totalMs.append(first / 1e6);
    }
    print("start.read", median(readMs), "ms");
    print("start.index", median(indexMs), "ms");
    print("start.first_sentence", median(firstMs), "ms");
    print("start.total", median(totalMs), "ms");

    // Per line: every phrase of every language as a sentence (placeholders filled), then the corpus's lines.
    QString error;
    const auto units = service::TmxReader::read(file, &error);
    auto book = std::make_shared<service::Phrasebook>();
    book->addUnits(*units);
    const service::PhrasebookEngine engine(book, nullptr);
    // What a placeholder of each kind is filled with; names and places with "Madrid".
    static const QHash<QString, QString> kFillers
        = {{QStringLiteral("call"), QStringLiteral("EA4ABC")}, {QStringLiteral("band"), QStringLiteral("20 m")},
            {QStringLiteral("freq"), QStringLiteral("14.074 MHz")}, {QStringLiteral("mode"), QStringLiteral("FT8")},
            {QStringLiteral("report"), QStringLiteral("59")}, {QStringLiteral("locator"), QStringLiteral("IN80do")},
            {QStringLiteral("time"), QStringLiteral("18:30 UTC")}, {QStringLiteral("number"), QStringLiteral("100")},
            {QStringLiteral("rig"), QStringLiteral("IC-7300")}, {QStringLiteral("antenna"), QStringLiteral("G5RV")}};
    QList<std::pair<QString, QString>> cells; // language, sentence
    for (const service::PhraseUnit& unit : *units) {
        for (auto it = unit.segments.begin(); it != unit.segments.end(); ++it) {
            for (const service::PhraseSegment& segment : it.value()) {
                QString text;
                for (const service::PhraseSegment::Part& part : segment.parts) {
                    if (part.x == 0)
                        text += part.text;
                    else
                        text += kFillers.value(part.kind, QStringLiteral("Madrid"));
                }
                cells.append({it.key(), text});
            }
        }
    }
    const auto perLine
        = [&](const char* name, const QList<std::pair<QString, QString>>& sentences, const QString& target) {
              int served = 0;
              Timer timer;
              for (const auto& [language, text] : sentences)
                  served += !engine.phrase(text, language, target, nullptr).isEmpty();
              const double us = timer.nsecsElapsed() / 1e3 / std::max<qsizetype>(1, sentences.size());
              std::printf("%s %.2f us (%d of %lld served)\n", name, us, served, qlonglong(sentences.size()));
              if (qEnvironmentVariableIsSet("VERBOLT_BENCH_MISSES")) {
                  for (const auto& [language, text] : sentences) {
                      if (engine.phrase(text, language, target, nullptr).isEmpty())
                          std::printf("  not served: %s %s\n", qPrintable(language), qPrintable(text));
                  }
              }
          };
    perLine("line.cells_to_en", cells, QStringLiteral("en"));
    QList<std::pair<QString, QString>> automatic;
    for (const auto& cell : std::as_const(cells))
        automatic.append({QStringLiteral("auto"), cell.second});
    perLine("line.cells_auto_to_en", automatic, QStringLiteral("en"));
    if (!lines.isEmpty()) {
        QList<std::pair<QString, QString>> english;
        for (const QString& line : std::as_const(lines))
            english.append({QStringLiteral("en"), line});
        perLine("line.corpus_en_to_de", english, QStringLiteral("de"));
    }
    return 0;
}
