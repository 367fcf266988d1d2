// The AnalysisResult class: read-only views of one analysis result, shaped for notebooks.
#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <utility>

#include "cn0/quality.hpp"
#include "cn0/timeseries.hpp"
#include "python/column.hpp"
#include "python/convert.hpp"
#include "python/json_output.hpp"
#include "python/module_state.hpp"
#include "python/native.hpp"
#include "python/unlocked.hpp"
#include "python/wrapper.hpp"
#include "result/json.hpp"
#include "rinex/text.hpp"

namespace qcn::python {
namespace {

using result::AnalysisResult;
using Record = AnalysisResult;
using TextMap = rinex::OrderedMap<std::string>;

std::string decimal(std::uint64_t count) { return std::to_string(count); }
std::string fixed(double value, int decimals) { return rinex::fixed_text(value, decimals); }

/// The joined one-decimal texts of a value of every point of a trace.
template <double result::SkyplotPoint::*Field>
std::string joined_points(const Record& r, const result::SkyplotTrace& trace) {
  std::string out;
  bool first = true;
  result::for_each_trace_point(r, trace, [&](const result::SkyplotPoint& point) {
    if (!first) out += ',';
    first = false;
    out += fixed(point.*Field, 1);
  });
  return out;
}

// --- properties: each reads one value of the record through a function in its closure

using Read = Ref (*)(const Record&);

struct Property;
PyObject* get_property(PyObject* self, void* closure);

const result::VisibilityResult* visibility_of(const Record& r) {
  return r.visibility ? &*r.visibility : nullptr;
}

template <double result::VisibilityResult::*Field>
Ref visibility_real(const Record& r) {
  const result::VisibilityResult* v = visibility_of(r);
  return to_py_float(v ? v->*Field : 0.0);
}

Ref quality_score_object(const Record& r, PyObject* self) {
  ModuleState* state = static_cast<ModuleState*>(PyType_GetModuleState(Py_TYPE(self)));
  if (!state) return {};
  return Ref::steal(new_quality_score(state, cn0::to_quality_score(r)));
}

Ref quality_grade(const Record& r) {
  if (r.quality_score.grade == "N/A") return to_py_str("N/A");
  return to_py_str(cn0::to_quality_score(r).rating.substr(0, 1));
}

PyObject* get_quality_score(PyObject* self, void*) {
  return with_record<Record>(self, [self](const Record& r) { return quality_score_object(r, self).release(); });
}

/// A property: its name, its documentation and how it reads the record (or, for the few that
/// need the object itself, a getter of its own).
struct Property {
  const char* name;
  const char* doc;
  Read read;
  getter get = get_property;
};

constexpr Property kProperties[] = {
    {"filename", "Get filename", [](const Record& r) { return to_py_str(r.file_info.filename); }},
    {"rinex_version", "Get RINEX version (placeholder)", [](const Record&) { return to_py_str("3.05"); }},
    {"station_name", "Get station name (marker name)",
     [](const Record& r) {
       return r.file_info.marker_name.empty() ? Ref::borrow(Py_None) : to_py_str(r.file_info.marker_name);
     }},
    {"receiver_type", "Get receiver type", [](const Record& r) { return to_py_str(r.file_info.receiver_type); }},
    {"antenna_type", "Get antenna type", [](const Record& r) { return to_py_str(r.file_info.antenna_type); }},
    {"start_time", "Get start time", [](const Record& r) { return to_py_str(r.file_info.start_time); }},
    {"end_time", "Get end time", [](const Record& r) { return to_py_str(r.file_info.end_time); }},
    {"duration_hours", "Get duration in hours", [](const Record& r) { return to_py_float(r.file_info.duration_hours); }},
    {"interval", "Get observation interval", [](const Record& r) { return to_py_float(r.file_info.interval); }},
    {"total_observations", "Get total observations",
     [](const Record& r) { return to_py_int(r.summary.total_observations); }},
    {"total_satellites", "Get total satellites", [](const Record& r) { return to_py_int(r.summary.total_satellites); }},
    {"total_epochs", "Get total epochs (alias: epoch_count)",
     [](const Record& r) { return to_py_int(r.summary.total_epochs); }},
    {"epoch_count", "Get epoch count (alias for total_epochs)",
     [](const Record& r) { return to_py_int(r.summary.total_epochs); }},
    {"constellations", "Get constellations observed",
     [](const Record& r) { return to_py_str_list(r.summary.systems_observed); }},
    {"mean_cn0", "Get mean CN0 (alias: avg_cn0)", [](const Record& r) { return to_py_float(r.summary.mean_cn0); }},
    {"avg_cn0", "Get average CN0 (alias for mean_cn0)", [](const Record& r) { return to_py_float(r.summary.mean_cn0); }},
    {"min_cn0", "Get min CN0", [](const Record& r) { return to_py_float(r.summary.min_cn0); }},
    {"max_cn0", "Get max CN0", [](const Record& r) { return to_py_float(r.summary.max_cn0); }},
    {"cn0_std_dev", "Get CN0 standard deviation (computed from timeseries)",
     [](const Record& r) { return to_py_float(cn0::cn0_std_dev(r.timeseries)); }},
    {"anomaly_count", "Get anomaly count", [](const Record& r) { return to_py_int(r.summary.anomaly_count); }},
    {"critical_count", "Get critical anomaly count", [](const Record& r) { return to_py_int(r.summary.critical_count); }},
    {"jamming_detected",
     "Check if jamming detected\nReal jamming causes: severe CN0 drops (>10dB) across MULTIPLE satellites "
     "simultaneously\nAND low average CN0 (<35 dB-Hz) or high percentage of critical anomalies",
     [](const Record& r) { return to_py_bool(cn0::jamming_detected(r)); }},
    {"spoofing_detected",
     "Check if spoofing detected\nReal spoofing indicators:\n1. Many unexpected satellites (>40% not in "
     "ephemeris) with GOOD signals\n2. Satellites appearing with impossible geometry (wrong hemisphere, "
     "etc.)\nNote: Low CN0 std deviation is NOT a spoofing indicator - it's actually good data!",
     [](const Record& r) { return to_py_bool(cn0::spoofing_detected(r)); }},
    {"interference_detected",
     "Check if interference detected\nRequires meaningful anomaly count - not just isolated events",
     [](const Record& r) { return to_py_bool(cn0::interference_detected(r)); }},
    {"quality_score", "Get quality score object with all metrics", nullptr, get_quality_score},
    {"score", "Get quality score value (alias for overall)",
     [](const Record& r) { return to_py_float(cn0::to_quality_score(r).overall); }},
    {"quality_grade", "Get quality grade", quality_grade},
    {"summary", "Get summary interpretation", [](const Record& r) { return to_py_str(r.quality_score.interpretation); }},
    {"skyplot_coverage", "Get skyplot coverage percent",
     [](const Record& r) { return to_py_float(r.skyplot.coverage_percent); }},
    {"skyplot_trace_count", "Get number of skyplot traces",
     [](const Record& r) { return to_py_int(r.skyplot.traces.size()); }},
    {"visibility_prediction_source", "Get visibility prediction source",
     [](const Record& r) { return to_py_str(visibility_of(r) ? visibility_of(r)->prediction_source : "None"); }},
    {"visibility_confirmation_rate", "Get visibility confirmation rate",
     visibility_real<&result::VisibilityResult::confirmation_rate>},
    {"visibility_mean_predicted", "Get mean predicted satellites",
     visibility_real<&result::VisibilityResult::mean_predicted>},
    {"visibility_mean_observed", "Get mean observed satellites",
     visibility_real<&result::VisibilityResult::mean_observed>},
    {"visibility_mean_missing", "Get mean missing satellites per epoch",
     visibility_real<&result::VisibilityResult::mean_missing>},
    {"visibility_mean_unexpected", "Get mean unexpected satellites per epoch (seen but not predicted)",
     visibility_real<&result::VisibilityResult::mean_unexpected>},
    {"has_visibility_prediction", "Check if visibility prediction is available",
     [](const Record& r) { return to_py_bool(visibility_of(r) && visibility_of(r)->has_prediction); }},
    {"visibility_anomaly_count", "Get visibility anomaly count",
     [](const Record& r) { return to_py_int(visibility_of(r) ? visibility_of(r)->anomalies.size() : 0); }},
    {"position_lat", "Get receiver latitude", [](const Record& r) { return to_py_float(r.file_info.position_lat); }},
    {"position_lon", "Get receiver longitude", [](const Record& r) { return to_py_float(r.file_info.position_lon); }},
};

/// The class's getset table: one entry per property, in order, and the closing null entry.
/// Closures point into kProperties, which lives as long as the process.
auto getset_table() {
  std::array<PyGetSetDef, std::size(kProperties) + 1> table{};
  for (std::size_t i = 0; i < std::size(kProperties); ++i) {
    const Property& p = kProperties[i];
    table[i] = {p.name, p.get, nullptr, p.doc, const_cast<Property*>(&p)};
  }
  return table;
}

auto getset = getset_table();

PyObject* get_property(PyObject* self, void* closure) {
  Read read = static_cast<const Property*>(closure)->read;
  return with_record<Record>(self, [read](const Record& r) { return read(r).release(); });
}

// --- methods

TextMap anomaly_entries(const result::CN0Anomaly& a) {
  TextMap m;
  m["start_time"] = a.timestamp;
  m["end_time"] = a.timestamp;  // C/N0 anomalies are instants
  m["severity"] = std::string(result::severity_text(a.severity));
  m["anomaly_type"] = std::string(result::drop_kind_text(a.event_type));
  m["description"] = a.description;
  m["cn0_drop"] = result::shortest_text(a.cn0_drop);
  m["affected_satellites"] = joined(a.affected_satellites, ",");
  m["affected_systems"] = joined(a.affected_systems, ",");
  return m;
}

TextMap constellation_entries(const result::ConstellationStats& s) {
  TextMap m;
  m["system"] = s.system;
  m["constellation"] = s.system;
  m["satellite_count"] = decimal(s.satellite_count);
  m["satellites_observed"] = decimal(s.satellite_count);
  m["satellites_expected"] = decimal(s.satellites_expected);
  m["observation_count"] = decimal(s.observation_count);
  m["mean_cn0"] = fixed(s.mean_cn0, 1);
  m["cn0_mean"] = fixed(s.mean_cn0, 1);
  m["min_cn0"] = fixed(s.min_cn0, 1);
  m["max_cn0"] = fixed(s.max_cn0, 1);
  m["std_cn0"] = fixed(s.std_cn0, 2);
  m["cn0_std"] = fixed(s.std_cn0, 2);
  m["availability_ratio"] = fixed(s.availability_ratio, 3);
  m["cycle_slips"] = decimal(s.cycle_slips);
  m["data_gaps"] = decimal(s.data_gaps);
  return m;
}

TextMap trace_entries(const Record& r, const result::SkyplotTrace& t) {
  TextMap m;
  m["satellite"] = t.satellite;
  m["system"] = t.system;
  m["azimuths"] = joined_points<&result::SkyplotPoint::azimuth>(r, t);
  m["elevations"] = joined_points<&result::SkyplotPoint::elevation>(r, t);
  m["cn0_values"] = joined_points<&result::SkyplotPoint::cn0>(r, t);
  return m;
}

TextMap system_visibility_entries(const result::SystemVisibility& s) {
  TextMap m;
  m["predicted"] = decimal(s.predicted_satellites);
  m["observed"] = decimal(s.observed_satellites);
  m["confirmation_rate"] = fixed(s.confirmation_rate, 1) + "%";
  m["missing_count"] = decimal(s.missing_satellites.size());
  m["unexpected_count"] = decimal(s.unexpected_satellites.size());
  m["missing_sats"] = joined(s.missing_satellites, ", ");
  m["unexpected_sats"] = joined(s.unexpected_satellites, ", ");
  return m;
}

TextMap overall_visibility_entries(const result::VisibilityResult& v) {
  TextMap m;
  m["source"] = v.prediction_source;
  m["mean_predicted"] = fixed(v.mean_predicted, 1);
  m["mean_observed"] = fixed(v.mean_observed, 1);
  m["mean_missing"] = fixed(v.mean_missing, 1);
  m["mean_unexpected"] = fixed(v.mean_unexpected, 1);
  m["confirmation_rate"] = fixed(v.confirmation_rate, 1) + "%";
  return m;
}

/// A list with one converted element per item.
template <typename Item, typename Convert>
Ref list_of(const std::vector<Item>& items, Convert convert) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return list;
  for (std::size_t i = 0; i < items.size(); ++i) {
    Ref item = convert(items[i]);
    if (!item) return {};
    if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item.release()) < 0) return {};  // steals
  }
  return list;
}

Ref text_dict(const TextMap& map) { return to_py_dict(map, [](const std::string& text) { return to_py_str(text); }); }

template <typename Field>
std::vector<Field> anomaly_values(const Record& r, Field result::CN0Anomaly::*field) {
  std::vector<Field> out;
  out.reserve(r.anomalies.size());
  for (const result::CN0Anomaly& a : r.anomalies) out.push_back(a.*field);
  return out;
}

template <typename Field>
std::vector<Field> visibility_anomaly_values(const Record& r, Field result::VisibilityAnomaly::*field) {
  std::vector<Field> out;
  if (!r.visibility) return out;
  for (const result::VisibilityAnomaly& a : r.visibility->anomalies) out.push_back(a.*field);
  return out;
}

/// The texts of enumerated values.
template <typename Value>
std::vector<std::string> as_texts(const std::vector<Value>& values, std::string_view (*text_of)(Value)) {
  std::vector<std::string> texts;
  texts.reserve(values.size());
  for (Value value : values) texts.emplace_back(text_of(value));
  return texts;
}

Ref timeseries_data(const Record& r) {
  std::size_t n = r.timeseries.timestamps.size();
  rinex::OrderedMap<std::vector<double>> m;
  std::vector<double>& hours = m["hours"];
  for (std::size_t i = 0; i < n; ++i) hours.push_back(static_cast<double>(i) * r.file_info.interval / 3600.0);
  m["mean_cn0"] = r.timeseries.mean_cn0;
  std::vector<double>& counts = m["satellite_count"];
  for (std::uint64_t count : r.timeseries.satellite_count) counts.push_back(static_cast<double>(count));
  return to_py_dict(m, to_py_float_list);
}

Ref visibility_debug_dict(const Record& r) {
  rinex::OrderedMap<TextMap> m;
  if (r.visibility) {
    for (const auto& [system, figures] : r.visibility->by_system) m[system] = system_visibility_entries(figures);
    m["_overall"] = overall_visibility_entries(*r.visibility);
  }
  return to_py_dict(m, text_dict);
}

const std::vector<std::string> kNoTexts;

std::vector<std::string> satellite_ids(const Record& r) {
  std::vector<std::string> ids;
  ids.reserve(r.satellite_stats.size());
  for (const auto& entry : r.satellite_stats) ids.push_back(entry.first);
  return ids;
}

/// The JSON text, encoded without the interpreter lock on the module's threads.
template <result::Layout layout>
PyObject* json_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  (void)args;
  const char* name = layout == result::Layout::compact ? "AnalysisResult.to_json()" : "AnalysisResult.to_json_pretty()";
  if (!bind_none(name, nargs, kwnames)) return nullptr;
  parallel::Pool* pool = pool_of_instance(self);
  return with_record<Record>(self, [&](const Record& r) -> PyObject* {
    const std::string text = run_unlocked([&] {
      return layout == result::Layout::compact ? result::to_json(r, pool) : result::to_json_pretty(r, pool);
    });
    return to_py_str(text).release();
  });
}

/// A method of no arguments that reads the record.
struct ReadMethod {
  const char* name;
  const char* doc;
  Read read;
};

constexpr ReadMethod kReadMethods[] = {
    {"get_anomalies", "Get anomalies list",
     [](const Record& r) {
       return list_of(r.anomalies, [](const result::CN0Anomaly& a) { return text_dict(anomaly_entries(a)); });
     }},
    {"get_systems", "Get systems observed", [](const Record& r) { return to_py_str_list(r.summary.systems_observed); }},
    {"get_timeseries_data", "Get timeseries data as dict", timeseries_data},
    {"get_timestamps", "Get timeseries timestamps", [](const Record& r) { return to_py_str_list(r.timeseries.timestamps); }},
    {"get_timeseries_cn0", "Get timeseries mean CN0 values",
     [](const Record& r) { return to_py_float_list(r.timeseries.mean_cn0); }},
    {"get_skyplot_data", "Get skyplot data as list of trace dicts",
     [](const Record& r) {
       return list_of(r.skyplot.traces, [&r](const result::SkyplotTrace& t) { return text_dict(trace_entries(r, t)); });
     }},
    {"get_frequently_missing_satellites", "Get frequently missing satellites (possible obstructions)",
     [](const Record& r) { return to_py_str_list(r.visibility ? r.visibility->frequently_missing : kNoTexts); }},
    {"get_frequently_unexpected_satellites", "Get frequently unexpected satellites (possible spoofing)",
     [](const Record& r) { return to_py_str_list(r.visibility ? r.visibility->frequently_unexpected : kNoTexts); }},
    {"get_visibility_anomaly_types", "Get visibility anomaly types",
     [](const Record& r) {
       return to_py_str_list(as_texts(visibility_anomaly_values(r, &result::VisibilityAnomaly::anomaly_type),
                                      result::visibility_anomaly_kind_text));
     }},
    {"get_visibility_anomaly_descriptions", "Get visibility anomaly descriptions",
     [](const Record& r) { return to_py_str_list(visibility_anomaly_values(r, &result::VisibilityAnomaly::description)); }},
    {"visibility_debug", "Get detailed visibility debug info per system", visibility_debug_dict},
    {"get_quality_assessment",
     "Get the quality assessment: overall, its three scores, grade and interpretation, as numbers and texts",
     [](const Record& r) { return to_native(r.quality_score); }},
    {"get_visibility_anomalies",
     "Get visibility anomalies as dicts with start and end times, duration in seconds and satellites",
     [](const Record& r) { return r.visibility ? to_native(r.visibility->anomalies) : Ref::steal(PyList_New(0)); }},
    {"get_mean_cn0_series", "Get timeseries mean CN0 values",
     [](const Record& r) { return to_py_float_list(r.timeseries.mean_cn0); }},
    {"get_satellite_count_series", "Get timeseries satellite counts",
     [](const Record& r) { return to_py_int_list(r.timeseries.satellite_count); }},
    {"get_satellite_ids", "Get satellite IDs", [](const Record& r) { return to_py_str_list(satellite_ids(r)); }},
    {"get_anomaly_timestamps", "Get anomaly timestamps",
     [](const Record& r) { return to_py_str_list(anomaly_values(r, &result::CN0Anomaly::timestamp)); }},
    {"get_anomaly_severities", "Get anomaly severities",
     [](const Record& r) {
       return to_py_str_list(as_texts(anomaly_values(r, &result::CN0Anomaly::severity), result::severity_text));
     }},
    {"get_anomaly_cn0_drops", "Get anomaly CN0 drops",
     [](const Record& r) { return to_py_float_list(anomaly_values(r, &result::CN0Anomaly::cn0_drop)); }},
    {"get_assessment",
     "Get the interference assessment: verdicts, spoofing indicators, degraded share and episodes of degraded "
     "reception, as native values (None when nothing could be assessed)",
     [](const Record& r) { return to_native(r.assessment); }},
};

template <std::size_t I>
PyObject* read_method(PyObject* self, PyObject* const*, Py_ssize_t nargs, PyObject* kwnames) {
  static const std::string error_name = std::string("AnalysisResult.") + kReadMethods[I].name + "()";
  if (!bind_none(error_name.c_str(), nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [](const Record& r) { return kReadMethods[I].read(r).release(); });
}

/// The position of a method in kReadMethods (a name missing from it fails the build).
consteval std::size_t read_method_index(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kReadMethods); ++i) {
    if (kReadMethods[i].name == name) return i;
  }
  throw "no such method";
}


/// The assessment's JSON text, the keys of get_assessment().
PyObject* assessment_json_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"pretty", false}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("AnalysisResult.assessment_json()", params, args, nargs, kwnames, bound)) return nullptr;
  bool pretty = false;
  if (bound[0] != nullptr && !to_strict_bool(bound[0], "pretty", pretty)) return nullptr;
  const result::Layout layout = pretty ? result::Layout::indented : result::Layout::compact;
  return with_record<Record>(self, [layout](const Record& r) -> PyObject* {
    return to_py_str(result::assessment_json(r.assessment, layout)).release();
  });
}

PyObject* get_constellation_summary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr std::array<Param, 1> params{{{"name", true}}};
  std::array<PyObject*, 1> bound{};
  if (!bind("AnalysisResult.get_constellation_summary()", params, args, nargs, kwnames, bound)) return nullptr;
  std::string name;
  if (!to_string(bound[0], "name", name)) return nullptr;
  return with_record<Record>(self, [&](const Record& r) -> PyObject* {
    const result::ConstellationStats* stats = r.constellation_stats.find(name);
    if (!stats) return Py_NewRef(Py_None);
    return text_dict(constellation_entries(*stats)).release();
  });
}

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

/// The method table entry of a method of kReadMethods, with its text signature.
template <std::size_t I>
PyMethodDef read_entry() {
  static const std::string doc = std::string(kReadMethods[I].name) + "($self)\n--\n\n" + kReadMethods[I].doc;
  return {kReadMethods[I].name, as_cfunction<read_method<I>>(), kMethodFlags, doc.c_str()};
}

/// A method name as a template argument.
template <std::size_t N>
struct MethodName {
  char text[N];
  consteval MethodName(const char (&name)[N]) { std::copy_n(name, N, text); }  // NOLINT: from literals
};

/// The table entry of the method of kReadMethods named name.
template <MethodName name>
PyMethodDef read_entry() {
  return read_entry<read_method_index(name.text)>();
}

PyMethodDef methods[] = {
    {"to_json", as_cfunction<json_text<result::Layout::compact>>(), kMethodFlags,
     "to_json($self)\n--\n\nConvert to JSON string"},
    {"to_json_pretty", as_cfunction<json_text<result::Layout::indented>>(), kMethodFlags,
     "to_json_pretty($self)\n--\n\nConvert to pretty JSON string"},
    {"write_json", as_cfunction<write_result_json>(), kMethodFlags,
     "write_json($self, target, pretty=False, with_assessment=False)\n--\n\nWrite the JSON (as to_json, or "
     "to_json_pretty with pretty=True) to a path or a binary stream without building it in memory; with "
     "with_assessment=True the document ends with the interference assessment under \"assessment\""},
    read_entry<"get_anomalies">(),
    {"get_constellation_summary", as_cfunction<get_constellation_summary>(), kMethodFlags,
     "get_constellation_summary($self, name)\n--\n\nGet constellation summary by name"},
    read_entry<"get_systems">(),
    read_entry<"get_timeseries_data">(),
    read_entry<"get_timestamps">(),
    read_entry<"get_timeseries_cn0">(),
    read_entry<"get_skyplot_data">(),
    read_entry<"get_frequently_missing_satellites">(),
    read_entry<"get_frequently_unexpected_satellites">(),
    read_entry<"get_visibility_anomaly_types">(),
    read_entry<"get_visibility_anomaly_descriptions">(),
    read_entry<"visibility_debug">(),
    read_entry<"get_quality_assessment">(),
    read_entry<"get_visibility_anomalies">(),
    read_entry<"get_mean_cn0_series">(),
    read_entry<"get_satellite_count_series">(),
    read_entry<"get_satellite_ids">(),
    read_entry<"get_anomaly_timestamps">(),
    read_entry<"get_anomaly_severities">(),
    read_entry<"get_anomaly_cn0_drops">(),
    {"sample_columns", as_cfunction<result_sample_columns>(), kMethodFlags,
     "sample_columns($self)\n--\n\nThe C/N0 samples as columns, one row per satellite, signal and epoch in time "
     "order: a dict of read-only Column objects time, time_index, satellite, system, signal, cn0, elevation, "
     "azimuth (NaN where no look angle was computed) and residual (dB-Hz against the C/N0 the interference "
     "assessment expected; NaN where it expected none), for numpy.asarray"},
    {"epoch_columns", as_cfunction<result_epoch_columns>(), kMethodFlags,
     "epoch_columns($self)\n--\n\nThe epoch series as columns: time, mean_cn0 and satellite_count"},
    {"visibility_columns", as_cfunction<result_visibility_columns>(), kMethodFlags,
     "visibility_columns($self)\n--\n\nThe visibility comparison per epoch as columns: time, predicted, observed, "
     "confirmed, missing and unexpected (no rows without a prediction)"},
    {"to_pandas", as_cfunction<to_pandas>(), kMethodFlags,
     "to_pandas($self, table='samples')\n--\n\nA pandas DataFrame of one table: samples, epochs, visibility, "
     "anomalies or visibility_anomalies (needs pandas)"},
    {"to_xarray", as_cfunction<to_xarray>(), kMethodFlags,
     "to_xarray($self)\n--\n\nThe samples as an xarray Dataset over time, satellite and signal (needs xarray)"},
    {"_repr_html_", as_cfunction<repr_html>(), kMethodFlags,
     "_repr_html_($self)\n--\n\nThe summary card shown by notebooks"},
    read_entry<"get_assessment">(),
    {"assessment_json", as_cfunction<assessment_json_text>(), kMethodFlags,
     "assessment_json($self, pretty=False)\n--\n\nThe interference assessment as JSON text (indented with "
     "pretty=True); null when nothing could be assessed"},
    {nullptr, nullptr, 0, nullptr},
};


PyObject* repr(PyObject* self) {
  return with_record<Record>(self, [](const Record& r) {
    std::string text = "AnalysisResult(observations=" + decimal(r.summary.total_observations) +
                       ", satellites=" + decimal(r.summary.total_satellites) +
                       ", epochs=" + decimal(r.summary.total_epochs) + ", mean_cn0=" + fixed(r.summary.mean_cn0, 1) +
                       ", anomalies=" + decimal(r.summary.anomaly_count) + ")";
    return to_py_str(text).release();
  });
}

const ClassDefinition kClass = {
    "quorlin_cn0.AnalysisResult",
    "Python wrapper for AnalysisResult",
    nullptr,
    repr,
    getset.data(),
    methods,
};

}  // namespace

PyObject* create_analysis_result_type(PyObject* module) {
  return create_record_type<Record>(module, kClass);
}

PyObject* new_analysis_result(ModuleState* state, result::AnalysisResult&& data) {
  return wrap_record(reinterpret_cast<PyTypeObject*>(state->analysis_result_type), std::move(data));
}

}  // namespace qcn::python
