// One "ZCReadIDCard" on the in-process reader models, stage by stage, against
// JPEG-encoding the two face templates at Qt's default quality (the least
// the two faces can cost), measured in the same run. The simulated bus
// answers at once, so the readers' own transfer time is left out; log lines
// are dropped rather than written to a terminal of unknown speed.
//
//   bench_card_read [--benchmark_repetitions=N ...]
#include "FaceFonts.h"
#include "IDINFO.h"
#include "IdCardRecords.h"
#include "IdCardReply.h"
#include "ReadIDCard.h"
#include "SimulationMode.h"
#include "TextMessageProcessor.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

const char* const kPortraitFile = "./simage_file.bmp";

// The record as the SAM reader leaves it: 00 90, the length words, the card.
QByteArray samRecord()
{
    const QByteArray card = simdevices::idCardRecord(simdevices::sampleHolder()).record;
    QByteArray record = QByteArray("\x00\x90\x01\x00\x04\x00", 6) + card;
    record.append(QByteArray(4096 - record.size(), '\0'));
    return record;
}

// A parsed card and its decoded portrait, as the stages after the parse find them.
struct ParsedCard {
    IDINFO info{};
    QByteArray portraitFile;
};

const ParsedCard& parsedCard()
{
    static const ParsedCard card = [] {
        ParsedCard c;
        QByteArray record = samRecord();
        ReadIDCard().AnalysisID(reinterpret_cast<unsigned char*>(record.data()), &c.info, true);
        QFile file(QString::fromLatin1(kPortraitFile));
        if (file.open(QIODevice::ReadOnly))
            c.portraitFile = file.readAll();
        if (c.portraitFile.isEmpty())
            std::fprintf(stderr, "the sample portrait did not decode\n");
        return c;
    }();
    return card;
}

// The front face rewrites the portrait file; every run starts from the decoded one.
void restorePortrait()
{
    QFile file(QString::fromLatin1(kPortraitFile));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(parsedCard().portraitFile);
}

void BM_Baseline_EncodeTemplatesAsJpeg(benchmark::State& state)
{
    const QPixmap front(QStringLiteral("./front.jpg"));
    const QPixmap back(QStringLiteral("./back.jpg"));
    for (auto _ : state) {
        for (const QPixmap* face : {&front, &back}) {
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            face->save(&buffer, "JPEG");
            benchmark::DoNotOptimize(jpeg.data());
        }
    }
    state.SetLabel(QStringLiteral("%1 x %2, twice").arg(front.width()).arg(front.height()).toStdString());
}

// The same, written to the two files the faces go to: what the disk adds.
void BM_Baseline_EncodeTemplatesToFiles(benchmark::State& state)
{
    const QPixmap front(QStringLiteral("./front.jpg"));
    const QPixmap back(QStringLiteral("./back.jpg"));
    for (auto _ : state) {
        front.save(QStringLiteral("./baselineFront.jpg"), "JPEG");
        back.save(QStringLiteral("./baselineBack.jpg"), "JPEG");
    }
}

void BM_Stage_Parse(benchmark::State& state)
{
    QByteArray record = samRecord();
    IDINFO info;
    ReadIDCard reader;
    for (auto _ : state) {
        reader.AnalysisID(reinterpret_cast<unsigned char*>(record.data()), &info, true);
        benchmark::DoNotOptimize(&info);
    }
    state.SetLabel("fields, WLT decode, bitmap file");
}

void BM_Stage_Portrait(benchmark::State& state)
{
    restorePortrait();
    for (auto _ : state) {
        QByteArray bmp = idcardreply::portraitBitmap();
        benchmark::DoNotOptimize(bmp.data());
    }
    state.SetLabel("bitmap file -> BMP in memory");
}

void BM_Stage_FrontFace(benchmark::State& state)
{
    IDINFO info = parsedCard().info;
    ReadIDCard reader;
    for (auto _ : state) {
        state.PauseTiming();
        restorePortrait();
        state.ResumeTiming();
        reader.IDCardPicFront(&info);
    }
}

void BM_Stage_BackFace(benchmark::State& state)
{
    IDINFO info = parsedCard().info;
    ReadIDCard reader;
    for (auto _ : state)
        reader.IDCardPicBack(&info);
}

// Where a face's time goes: reading its template (QPixmap keeps it
// decoded), drawing everything on it at once (addMask), the part of that the
// portrait takes, and the labels, which are drawn once per template and kept.
void BM_Detail_LoadTemplates(benchmark::State& state)
{
    for (auto _ : state) {
        QPixmap front(QStringLiteral("./front.jpg"));
        QPixmap back(QStringLiteral("./back.jpg"));
        benchmark::DoNotOptimize(&front);
        benchmark::DoNotOptimize(&back);
    }
}

enum class Face { Front, Back };
enum class Holder { Card, Blank };
enum class Portrait { Decoded, Missing };

// Draws one face over a fresh copy of its template on every run.
void drawFace(benchmark::State& state, Face side, Holder holder, Portrait portrait)
{
    IDINFO info{};
    if (holder == Holder::Card)
        info = parsedCard().info;
    ReadIDCard reader;
    const QPixmap blank(side == Face::Front ? QStringLiteral("./front.jpg") : QStringLiteral("./back.jpg"));
    if (portrait == Portrait::Missing)
        QFile::remove(QString::fromLatin1(kPortraitFile));
    for (auto _ : state) {
        state.PauseTiming();
        if (portrait == Portrait::Decoded)
            restorePortrait();
        QPixmap face = blank.copy();
        state.ResumeTiming();
        if (side == Face::Front)
            reader.addMask(face, &info);
        else
            reader.addMaskBack(face, &info);
    }
}

void BM_Detail_FrontAllAtOnce(benchmark::State& state)
{
    drawFace(state, Face::Front, Holder::Card, Portrait::Decoded);
}

void BM_Detail_FrontWithoutPortrait(benchmark::State& state)
{
    drawFace(state, Face::Front, Holder::Card, Portrait::Missing);
}

void BM_Detail_FrontLabels(benchmark::State& state)
{
    drawFace(state, Face::Front, Holder::Blank, Portrait::Missing);
}

void BM_Detail_BackLabels(benchmark::State& state)
{
    drawFace(state, Face::Back, Holder::Blank, Portrait::Missing);
}

void BM_Detail_BackAllAtOnce(benchmark::State& state)
{
    drawFace(state, Face::Back, Holder::Card, Portrait::Missing);
}

void BM_Stage_Base64(benchmark::State& state)
{
    restorePortrait();
    const QByteArray bmp = idcardreply::portraitBitmap();
    for (auto _ : state) {
        QString text = QString::fromLatin1(bmp.toBase64());
        benchmark::DoNotOptimize(text.data());
    }
}

void BM_Stage_Reply(benchmark::State& state)
{
    restorePortrait();
    const QString photo = idcardreply::portraitText();
    IDINFO info = parsedCard().info;
    CTextMessageProcessor processor;
    for (auto _ : state) {
        QString reply = processor.CreateJsonIDCard(QStringLiteral("ZCReadIDCard"), 1, QStringLiteral("读卡成功"),
                                                   &info, photo);
        benchmark::DoNotOptimize(reply.data());
    }
}

// The whole command as the dispatcher runs it: one read through the
// simulated SAM reader (transfers and parse), the photo, both faces, the
// file removed, the reply built (no socket to send it on).
void BM_Whole_ZCReadIDCard(benchmark::State& state)
{
    CTextMessageProcessor processor;
    const QString request = QStringLiteral(R"({"function":"ZCReadIDCard","_tflag":"b"})");
    for (auto _ : state)
        processor.Process(nullptr, request);
    if (!QFile::exists(QStringLiteral("./frontNew.jpg")) || QFile::exists(QString::fromLatin1(kPortraitFile)))
        state.SkipWithError("the command did not run as it does in the service");
}

// Prints each result as a ratio to the baseline once all have run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean")
                m_times[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const Times baseline = m_times["BM_Baseline_EncodeTemplatesAsJpeg"];
        if (baseline.real <= 0 || baseline.cpu <= 0)
            return;
        // CPU time is the steadier of the two on a machine shared with others.
        std::printf("\nratio to JPEG-encoding the two templates (%.2f ms CPU, %.2f ms real):\n", baseline.cpu,
                    baseline.real);
        std::printf("  %-36s %8s %8s\n", "", "CPU", "real");
        for (const auto& [name, time] : m_times)
            std::printf("  %-36s %7.2fx %7.2fx\n", name.c_str(), time.cpu / baseline.cpu, time.real / baseline.real);
    }

private:
    struct Times {
        double real = 0; // ms, as every benchmark here reports
        double cpu = 0;
    };
    std::map<std::string, Times> m_times;
};

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

BENCHMARK(BM_Baseline_EncodeTemplatesAsJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_EncodeTemplatesToFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_Portrait)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_FrontFace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_BackFace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detail_LoadTemplates)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detail_FrontAllAtOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detail_BackAllAtOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detail_FrontWithoutPortrait)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detail_FrontLabels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Detail_BackLabels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_Base64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_Reply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Whole_ZCReadIDCard)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The card files go to a private working directory holding the templates.
    QTemporaryDir work;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    for (const char* name : {"front.jpg", "back.jpg"})
        QFile::copy(QStringLiteral(PERIPHD_STAGED_DATADIR "/") + QLatin1String(name), QLatin1String(name));
    idcard::loadFaceFontAliases(QStringLiteral(PERIPHD_STAGED_DATADIR "/fonts.conf"));
    enableSimulation();
    qInstallMessageHandler(quiet);
    parsedCard();

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    QDir::setCurrent(previous);
    return 0;
}
