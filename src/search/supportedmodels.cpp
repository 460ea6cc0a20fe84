#include "search/supportedmodels.h"

#include "device/catalogue.h"

#include <vector>

namespace telviox::search {

namespace {

namespace cat = catalogue;

struct ModelText
{
    const char *name;
    std::vector<const char *> titles;
    std::vector<const char *> features;
};

// Feature lines of the models with analog channels or counters. The digital
// models' channel counts come from the catalogue (digitalLines below).
const std::vector<ModelText> &modelTexts()
{
    static const std::vector<ModelText> texts = {
        {"2026",
         {"2026: Thermocouple Inutp Module", "2026D: 2026 with LED Display"},
         {"* Analog input type:", "    thermocouple , mV, V Or mA", "* Input Range:",
          "    -15~15mV, -50~50mV, -100~100mV", "    -500~500mV, -1~1V, -2.5~2.5V, -20~20mA",
          "* Thermocouple type:", "    J , K, T, E, R, S, B, N, C",
          "* Sampling rate: 10 samples/sec", "* Programmable High/Low alarm", "2026P",
          "2026PD: 2026P with LED Display", "* Except the input range of K type",
          "     thermocouple is extended to -100C~1370C", "* Except the input range of J type",
          "     thermocouple is extended to -100C~760C"}},
        {"2080",
         {"2080: Analog Inutp Module", "2080D: 2080 with LED Display", "2080P",
          "2080FD: High Speed version of 2080"},
         {"* Analog input type:", "    mV, V Or mA", "* Input Range:", "    -10~10V, -5~5V, -1~1V",
          "    -500~500mV, -125~125mV, -20~20mA", "* Programmable High/Low alarm"}},
        {"2027",
         {"2027: RTD Input Module", "2027D: 2027 with LED Display"},
         {"* Analog input type: RTD", "* RTD type:", "    Pt100 (.00385 or .00392), Ni120",
          "* Input Range:", "    Pt100: -100~100C, 0~100C, 0~200C, 0~600C",
          "    Ni120: -80~100C, 0~100C"}},
        {"2067",
         {"2067D: Analog/Tramsmitter Input with LED Display"},
         {"* Analog input type:", "    mV, V Or mA", "* Input Range:", "    -10~10V, -5~5V, -1~1V",
          "    -500~500mV, -125~125mV, -20~20mA", "* Linear mapping",
          "* Programmable High/Low alarm"}},
        {"2063",
         {"2063D:  2-channel Strain Gauge Input Module with LED Display"},
         {"* Analog input: 2 strain gauge channels",
          "* Input Range:", "    -15~15mV, -50~50mV, -100~100mV",
          "    -500~500mV, -1~1V, -2.5~2.5V, -20~20mA", "* Linear mapping", "* Alarm outputs"}},
        {"2091",
         {"2091: 8-channel Analog Input Module", "2091F: 8-channel Analog Input Module"},
         {"* Analog input: 8 channels", "* Input Range:", "    -10~10V, -5~5V, -1~1V",
          "    -500~500mV, -125~125mV, -20~20mA", "* Each channel enabled on its own"}},
        {"2086",
         {"2086: 8-channel Thermocouple Input Module",
          "2086P: 8-channel Thermocouple Input Module"},
         {"* Analog input: 8 thermocouple channels", "* Input Range:",
          "    -15~15mV, -50~50mV, -100~100mV", "    -500~500mV, -1~1V, -2.5~2.5V, -20~20mA",
          "* Thermocouple type:", "    J , K, T, E, R, S, B, N, C"}},
        {"2011",
         {"2011: Analog Output Module", "2011P: Analog Output Module"},
         {"* Analog output: 1 channel", "* Output Range:", "    0~20mA, 4~20mA, 0~10V",
          "* Read-back of the output value"}},
        {"2046",
         {"2046: 2-Channel Analog Output Module"},
         {"* Analog output: 2 channels", "* Output Range, each channel:",
          "    0~20mA, 4~20mA, 0~10V", "* Read-back of the output values"}},
        {"2028",
         {"2028: 4-Channel Analog Output Module"},
         {"* Analog output: 4 channels", "* Output Range:", "    0~20mA, 4~20mA, 0~10V",
          "    -10~10V, 0~5V, -5~5V", "* Read-back of the output values"}},
        {"2096",
         {"2096: 3-Channel RTD Input Module", "2096D: 2096 with LED Display"},
         {"* Analog input: 3 RTD channels", "* RTD type:", "    Pt100 (.00385 or .00392), Ni120",
          "    Pt1000 (.00385)", "* Input Range:", "    Pt100: -100~100C, 0~100C, 0~200C, 0~600C",
          "    Ni120: -80~100C, 0~100C", "    Pt1000: -200~600C"}},
        {"2058", {"2058: Isolated Digital Input Module", "2058D: 2058 with LED Display"}, {}},
        {"2099",
         {"2099: Isolated O.C. Output Module", "2099D: 2099 with LED Display"},
         {"* Open collector outputs"}},
        {"2041",
         {"2041: Nonisolated O.C. Output Module", "2041D: 2041 with LED Display"},
         {"* Open collector outputs"}},
        {"2065",
         {"2065: isolated Digital Input & Output Module", "2065D: 2065 with LED Display"},
         {}},
        {"2017", {"2017: Digital I/O Module", "2017D: 2017 with LED Display"}, {}},
        {"2073", {"2073: Isolated Digital Input Module", "2073D: 2073 with LED Display"}, {}},
        {"2088", {"2088: Digital Input Module", "2088D: 2088 with LED Display"}, {}},
        {"2015",
         {"2015: Relay Output & Isolated Digital Input Module", "2015D: 2015 with LED Display"},
         {"* Relay outputs"}},
        {"2061",
         {"2061: Power Relay Output & Isolated Digital Input Module",
          "2061D: 2061 with LED Display"},
         {"* Power relay outputs"}},
        {"2012",
         {"2012: Power Relay Output & Isolated Digital Input Module",
          "2012D: 2012 with LED Display"},
         {"* Power relay outputs"}},
        {"2039",
         {"2039: Photo Mos Relay Output Module", "2039D: 2039 with LED Display"},
         {"* Photo MOS relay outputs"}},
        {"2079",
         {"2079: Relay Output Module", "2079D: 2079 with LED Display"},
         {"* Relay outputs"}},
        {"2032",
         {"2032: Counter/Frequency Input Module", "2032D: 2032 with LED Display"},
         {"* Input: 2 counter/frequency channels", "* Counter Mode or Frequency Mode",
          "* 32-bit counts with preset value", "    and maximum value",
          "* Programmable input levels and", "    minimum signal width",
          "* Alarm outputs on counter limits"}},
    };
    return texts;
}

// The channel lines of a digital model, as many as the catalogue gives it.
QStringList digitalLines(const cat::ModelInfo &info)
{
    QStringList lines;
    if (info.inputBits > 0)
        lines << QStringLiteral("* Digital input: %1 channels").arg(info.inputBits);
    if (info.outputBits > 0)
        lines << QStringLiteral("* Digital output: %1 channels").arg(info.outputBits);
    return lines;
}

QString joined(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QStringList linesOf(const ModelText &model)
{
    QStringList lines;
    for (const char *line : model.titles)
        lines << QLatin1String(line);
    if (const cat::ModelInfo *info = cat::modelInfo(QLatin1String(model.name));
        info && info->kind == cat::Kind::Digital)
        lines << digitalLines(*info);
    for (const char *line : model.features)
        lines << QLatin1String(line);
    return lines;
}

} // namespace

QStringList supportedModels()
{
    QStringList names;
    for (const QString &entry : cat::settingList()) {
        const QString name = cat::normaliseName(entry);
        const cat::Family family = cat::familyOf(name);
        if (family != cat::Family::Q2000 && family != cat::Family::F3000)
            continue;
        names << name;
    }
    return names;
}

std::optional<QString> featureText(const QString &entry)
{
    const QString name = entry.left(4);
    for (const ModelText &model : modelTexts()) {
        if (name == QLatin1String(model.name))
            return joined(linesOf(model));
    }
    return std::nullopt;
}

QString openingFeatureText()
{
    QStringList lines = linesOf(modelTexts().front());
    // The first model's range lines in the wording the window opens with.
    lines[5] = QStringLiteral("    +/-15mV,  +/-50mV, +/-100mV");
    lines[6] = QStringLiteral("    +/-500mV, +/-1V, +/-2.5V, +/-20mA");
    return joined(lines);
}

} // namespace telviox::search
