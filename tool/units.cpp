#include "units.h"

#include <cctype>

namespace {

struct UnitNames {
  const char* name;     // the short name
  const char* others;   // other names, lower case, each ended by '|'
};

const UnitNames kUnits[kUnitCount] = {
    {"m", "metre|meter|metres|meters|metro|metros|mètre|mètres|"},
    {"dm", "decimetre|decimeter|decimetres|decimeters|"},
    {"cm", "centimetre|centimeter|centimetres|centimeters|"},
    {"mm", "millimetre|millimeter|millimetres|millimeters|"},
    {"ft", "foot|feet|international foot|international feet|foot (international)|ft_intl|intl foot|"},
    {"us-ft", "us survey foot|us survey feet|u.s. survey foot|us_survey_foot|survey foot|survey feet|foot_us|"
              "foot us|us foot|us feet|us-foot|us_ft|usft|ftus|ft_us|ft us|"},
};

std::string lower_trimmed(const std::string& name) {
  const std::size_t first = name.find_first_not_of(" \t");
  const std::size_t last = name.find_last_not_of(" \t");
  std::string out = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

double to_metres(double value, int unit) {
  if (unit == kFoot) return value * kFootMetres;
  if (unit == kUsFoot) return value * kUsFootMetres;
  return value / kScaleCoef[unit];
}

const char* unit_name(int unit) { return kUnits[unit].name; }

std::string unit_names() {
  std::string out;
  for (int unit = 0; unit < kUnitCount; ++unit) {
    out += unit == 0 ? "" : unit + 1 == kUnitCount ? " or " : ", ";
    out += kUnits[unit].name;
  }
  return out;
}

std::optional<int> unit_of_name(const std::string& name) {
  const std::string wanted = lower_trimmed(name);
  if (wanted.empty()) return std::nullopt;
  for (int unit = 0; unit < kUnitCount; ++unit) {
    if (wanted == kUnits[unit].name) return unit;
    if (std::string(kUnits[unit].others).find(wanted + "|") == 0 ||
        std::string(kUnits[unit].others).find("|" + wanted + "|") != std::string::npos) {
      return unit;
    }
  }
  return std::nullopt;
}
