// The AnalysisResult class: read-only views of one analysis result, shaped for notebooks.
#include <initializer_list>
#include <string>
#include <utility>

#include "cn0/quality.hpp"
#include "cn0/timeseries.hpp"
#include "python/convert.hpp"
#include "python/json_output.hpp"
#include "python/module_state.hpp"
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

PyObject* get_property(PyObject* self, void* closure) {
  Read read = *static_cast<const Read*>(closure);
  return with_record<Record>(self, [read](const Record& r) { return read(r).release(); });
}

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

// Closures live for the life of the process; PyGetSetDef takes them as void*.
#define QCN_READ(name, expression)                                 \
  const Read name = [](const Record& r) -> Ref { (void)r; return expression; }

QCN_READ(read_filename, to_py_str(r.file_info.filename));
QCN_READ(read_rinex_version, to_py_str("3.05"));
QCN_READ(read_station_name,
         r.file_info.marker_name.empty() ? Ref::borrow(Py_None) : to_py_str(r.file_info.marker_name));
QCN_READ(read_receiver_type, to_py_str(r.file_info.receiver_type));
QCN_READ(read_antenna_type, to_py_str(r.file_info.antenna_type));
QCN_READ(read_start_time, to_py_str(r.file_info.start_time));
QCN_READ(read_end_time, to_py_str(r.file_info.end_time));
QCN_READ(read_duration_hours, to_py_float(r.file_info.duration_hours));
QCN_READ(read_interval, to_py_float(r.file_info.interval));
QCN_READ(read_total_observations, to_py_int(r.summary.total_observations));
QCN_READ(read_total_satellites, to_py_int(r.summary.total_satellites));
QCN_READ(read_total_epochs, to_py_int(r.summary.total_epochs));
QCN_READ(read_constellations, to_py_str_list(r.summary.systems_observed));
QCN_READ(read_mean_cn0, to_py_float(r.summary.mean_cn0));
QCN_READ(read_min_cn0, to_py_float(r.summary.min_cn0));
QCN_READ(read_max_cn0, to_py_float(r.summary.max_cn0));
QCN_READ(read_cn0_std_dev, to_py_float(cn0::cn0_std_dev(r.timeseries)));
QCN_READ(read_anomaly_count, to_py_int(r.summary.anomaly_count));
QCN_READ(read_critical_count, to_py_int(r.summary.critical_count));
QCN_READ(read_jamming, to_py_bool(cn0::jamming_detected(r)));
QCN_READ(read_spoofing, to_py_bool(cn0::spoofing_detected(r)));
QCN_READ(read_interference, to_py_bool(cn0::interference_detected(r)));
QCN_READ(read_score, to_py_float(cn0::to_quality_score(r).overall));
QCN_READ(read_quality_grade, quality_grade(r));
QCN_READ(read_summary, to_py_str(r.quality_score.interpretation));
QCN_READ(read_skyplot_coverage, to_py_float(r.skyplot.coverage_percent));
QCN_READ(read_skyplot_trace_count, to_py_int(r.skyplot.traces.size()));
QCN_READ(read_visibility_source,
         to_py_str(visibility_of(r) ? visibility_of(r)->prediction_source : std::string("None")));
QCN_READ(read_visibility_rate, visibility_real<&result::VisibilityResult::confirmation_rate>(r));
QCN_READ(read_visibility_predicted, visibility_real<&result::VisibilityResult::mean_predicted>(r));
QCN_READ(read_visibility_observed, visibility_real<&result::VisibilityResult::mean_observed>(r));
QCN_READ(read_visibility_missing, visibility_real<&result::VisibilityResult::mean_missing>(r));
QCN_READ(read_visibility_unexpected, visibility_real<&result::VisibilityResult::mean_unexpected>(r));
QCN_READ(read_has_prediction, to_py_bool(visibility_of(r) && visibility_of(r)->has_prediction));
QCN_READ(read_visibility_anomaly_count, to_py_int(visibility_of(r) ? visibility_of(r)->anomalies.size() : 0));
QCN_READ(read_position_lat, to_py_float(r.file_info.position_lat));
QCN_READ(read_position_lon, to_py_float(r.file_info.position_lon));

#undef QCN_READ

PyObject* get_quality_score(PyObject* self, void*) {
  return with_record<Record>(self, [self](const Record& r) { return quality_score_object(r, self).release(); });
}

void* closure(const Read& read) { return const_cast<Read*>(&read); }

PyGetSetDef getset[] = {
    {"filename", get_property, nullptr, "Get filename", closure(read_filename)},
    {"rinex_version", get_property, nullptr, "Get RINEX version (placeholder)", closure(read_rinex_version)},
    {"station_name", get_property, nullptr, "Get station name (marker name)", closure(read_station_name)},
    {"receiver_type", get_property, nullptr, "Get receiver type", closure(read_receiver_type)},
    {"antenna_type", get_property, nullptr, "Get antenna type", closure(read_antenna_type)},
    {"start_time", get_property, nullptr, "Get start time", closure(read_start_time)},
    {"end_time", get_property, nullptr, "Get end time", closure(read_end_time)},
    {"duration_hours", get_property, nullptr, "Get duration in hours", closure(read_duration_hours)},
    {"interval", get_property, nullptr, "Get observation interval", closure(read_interval)},
    {"total_observations", get_property, nullptr, "Get total observations", closure(read_total_observations)},
    {"total_satellites", get_property, nullptr, "Get total satellites", closure(read_total_satellites)},
    {"total_epochs", get_property, nullptr, "Get total epochs (alias: epoch_count)", closure(read_total_epochs)},
    {"epoch_count", get_property, nullptr, "Get epoch count (alias for total_epochs)", closure(read_total_epochs)},
    {"constellations", get_property, nullptr, "Get constellations observed", closure(read_constellations)},
    {"mean_cn0", get_property, nullptr, "Get mean CN0 (alias: avg_cn0)", closure(read_mean_cn0)},
    {"avg_cn0", get_property, nullptr, "Get average CN0 (alias for mean_cn0)", closure(read_mean_cn0)},
    {"min_cn0", get_property, nullptr, "Get min CN0", closure(read_min_cn0)},
    {"max_cn0", get_property, nullptr, "Get max CN0", closure(read_max_cn0)},
    {"cn0_std_dev", get_property, nullptr, "Get CN0 standard deviation (computed from timeseries)",
     closure(read_cn0_std_dev)},
    {"anomaly_count", get_property, nullptr, "Get anomaly count", closure(read_anomaly_count)},
    {"critical_count", get_property, nullptr, "Get critical anomaly count", closure(read_critical_count)},
    {"jamming_detected", get_property, nullptr,
     "Check if jamming detected\nReal jamming causes: severe CN0 drops (>10dB) across MULTIPLE satellites "
     "simultaneously\nAND low average CN0 (<35 dB-Hz) or high percentage of critical anomalies",
     closure(read_jamming)},
    {"spoofing_detected", get_property, nullptr,
     "Check if spoofing detected\nReal spoofing indicators:\n1. Many unexpected satellites (>40% not in "
     "ephemeris) with GOOD signals\n2. Satellites appearing with impossible geometry (wrong hemisphere, "
     "etc.)\nNote: Low CN0 std deviation is NOT a spoofing indicator - it's actually good data!",
     closure(read_spoofing)},
    {"interference_detected", get_property, nullptr,
     "Check if interference detected\nRequires meaningful anomaly count - not just isolated events",
     closure(read_interference)},
    {"quality_score", get_quality_score, nullptr, "Get quality score object with all metrics", nullptr},
    {"score", get_property, nullptr, "Get quality score value (alias for overall)", closure(read_score)},
    {"quality_grade", get_property, nullptr, "Get quality grade", closure(read_quality_grade)},
    {"summary", get_property, nullptr, "Get summary interpretation", closure(read_summary)},
    {"skyplot_coverage", get_property, nullptr, "Get skyplot coverage percent", closure(read_skyplot_coverage)},
    {"skyplot_trace_count", get_property, nullptr, "Get number of skyplot traces",
     closure(read_skyplot_trace_count)},
    {"visibility_prediction_source", get_property, nullptr, "Get visibility prediction source",
     closure(read_visibility_source)},
    {"visibility_confirmation_rate", get_property, nullptr, "Get visibility confirmation rate",
     closure(read_visibility_rate)},
    {"visibility_mean_predicted", get_property, nullptr, "Get mean predicted satellites",
     closure(read_visibility_predicted)},
    {"visibility_mean_observed", get_property, nullptr, "Get mean observed satellites",
     closure(read_visibility_observed)},
    {"visibility_mean_missing", get_property, nullptr, "Get mean missing satellites per epoch",
     closure(read_visibility_missing)},
    {"visibility_mean_unexpected", get_property, nullptr,
     "Get mean unexpected satellites per epoch (seen but not predicted)", closure(read_visibility_unexpected)},
    {"has_visibility_prediction", get_property, nullptr, "Check if visibility prediction is available",
     closure(read_has_prediction)},
    {"visibility_anomaly_count", get_property, nullptr, "Get visibility anomaly count",
     closure(read_visibility_anomaly_count)},
    {"position_lat", get_property, nullptr, "Get receiver latitude", closure(read_position_lat)},
    {"position_lon", get_property, nullptr, "Get receiver longitude", closure(read_position_lon)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

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

/// A dictionary of named values, each converted when built; null (with the error set) on failure.
Ref native_dict(std::initializer_list<std::pair<const char*, Ref>> entries) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return dict;
  for (const auto& [key, value] : entries) {
    if (!value) return {};
    if (!dict_set(dict.get(), to_py_str(key), Ref::borrow(value.get()))) return {};
  }
  return dict;
}

Ref quality_assessment(const Record& r) {
  const result::QualityAssessment& q = r.quality_score;
  return native_dict({{"overall", to_py_float(q.overall)},
                      {"cn0_score", to_py_float(q.cn0_score)},
                      {"coverage_score", to_py_float(q.coverage_score)},
                      {"consistency_score", to_py_float(q.consistency_score)},
                      {"grade", to_py_str(q.grade)},
                      {"interpretation", to_py_str(q.interpretation)}});
}

Ref visibility_anomaly_dict(const result::VisibilityAnomaly& a) {
  return native_dict({{"start_time", to_py_str(a.start_time)},
                      {"end_time", to_py_str(a.end_time)},
                      {"duration_seconds", to_py_float(a.duration_seconds)},
                      {"anomaly_type", to_py_str(result::visibility_anomaly_kind_text(a.anomaly_type))},
                      {"severity", to_py_str(result::severity_text(a.severity))},
                      {"affected_satellites", to_py_str_list(a.affected_satellites)},
                      {"affected_systems", to_py_str_list(a.affected_systems)},
                      {"description", to_py_str(a.description)}});
}

Ref visibility_anomalies(const Record& r) {
  if (!r.visibility) return Ref::steal(PyList_New(0));
  return list_of(r.visibility->anomalies, visibility_anomaly_dict);
}

std::vector<std::string> satellite_ids(const Record& r) {
  std::vector<std::string> ids;
  ids.reserve(r.satellite_stats.size());
  for (const auto& entry : r.satellite_stats) ids.push_back(entry.first);
  return ids;
}

/// A method of no arguments: binds none, then reads the record.
struct Method {
  const char* error_name;
  Read read;
};

PyObject* call_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      const Method& method) {
  (void)args;
  if (!bind_none(method.error_name, nargs, kwnames)) return nullptr;
  return with_record<Record>(self, [&](const Record& r) { return method.read(r).release(); });
}

#define QCN_METHOD(name, expression)                                                                  \
  PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {          \
    static const Method method{"AnalysisResult." #name "()", [](const Record& r) -> Ref { return expression; }}; \
    return call_method(self, args, nargs, kwnames, method);                                           \
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

QCN_METHOD(get_anomalies, list_of(r.anomalies, [](const result::CN0Anomaly& a) { return text_dict(anomaly_entries(a)); }))
QCN_METHOD(get_systems, to_py_str_list(r.summary.systems_observed))
QCN_METHOD(get_timeseries_data, timeseries_data(r))
QCN_METHOD(get_timestamps, to_py_str_list(r.timeseries.timestamps))
QCN_METHOD(get_timeseries_cn0, to_py_float_list(r.timeseries.mean_cn0))
QCN_METHOD(get_skyplot_data,
           list_of(r.skyplot.traces, [&r](const result::SkyplotTrace& t) { return text_dict(trace_entries(r, t)); }))
QCN_METHOD(get_frequently_missing_satellites,
           to_py_str_list(r.visibility ? r.visibility->frequently_missing : std::vector<std::string>{}))
QCN_METHOD(get_frequently_unexpected_satellites,
           to_py_str_list(r.visibility ? r.visibility->frequently_unexpected : std::vector<std::string>{}))
QCN_METHOD(get_visibility_anomaly_types,
           to_py_str_list(as_texts(visibility_anomaly_values(r, &result::VisibilityAnomaly::anomaly_type),
                                   result::visibility_anomaly_kind_text)))
QCN_METHOD(get_visibility_anomaly_descriptions,
           to_py_str_list(visibility_anomaly_values(r, &result::VisibilityAnomaly::description)))
QCN_METHOD(visibility_debug, visibility_debug_dict(r))
QCN_METHOD(get_quality_assessment, quality_assessment(r))
QCN_METHOD(get_visibility_anomalies, visibility_anomalies(r))
QCN_METHOD(get_mean_cn0_series, to_py_float_list(r.timeseries.mean_cn0))
QCN_METHOD(get_satellite_count_series, to_py_int_list(r.timeseries.satellite_count))
QCN_METHOD(get_satellite_ids, to_py_str_list(satellite_ids(r)))
QCN_METHOD(get_anomaly_timestamps, to_py_str_list(anomaly_values(r, &result::CN0Anomaly::timestamp)))
QCN_METHOD(get_anomaly_severities,
           to_py_str_list(as_texts(anomaly_values(r, &result::CN0Anomaly::severity), result::severity_text)))
QCN_METHOD(get_anomaly_cn0_drops, to_py_float_list(anomaly_values(r, &result::CN0Anomaly::cn0_drop)))

#undef QCN_METHOD

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

#define QCN_ENTRY(name, doc) {#name, as_cfunction<name>(), kMethodFlags, #name "($self)\n--\n\n" doc}

PyMethodDef methods[] = {
    {"to_json", as_cfunction<json_text<result::Layout::compact>>(), kMethodFlags,
     "to_json($self)\n--\n\nConvert to JSON string"},
    {"to_json_pretty", as_cfunction<json_text<result::Layout::indented>>(), kMethodFlags,
     "to_json_pretty($self)\n--\n\nConvert to pretty JSON string"},
    {"write_json", as_cfunction<write_result_json>(), kMethodFlags,
     "write_json($self, target, pretty=False)\n--\n\nWrite the JSON (as to_json, or to_json_pretty with pretty=True) "
     "to a path or a binary stream without building it in memory"},
    QCN_ENTRY(get_anomalies, "Get anomalies list"),
    {"get_constellation_summary", as_cfunction<get_constellation_summary>(), kMethodFlags,
     "get_constellation_summary($self, name)\n--\n\nGet constellation summary by name"},
    QCN_ENTRY(get_systems, "Get systems observed"),
    QCN_ENTRY(get_timeseries_data, "Get timeseries data as dict"),
    QCN_ENTRY(get_timestamps, "Get timeseries timestamps"),
    QCN_ENTRY(get_timeseries_cn0, "Get timeseries mean CN0 values"),
    QCN_ENTRY(get_skyplot_data, "Get skyplot data as list of trace dicts"),
    QCN_ENTRY(get_frequently_missing_satellites, "Get frequently missing satellites (possible obstructions)"),
    QCN_ENTRY(get_frequently_unexpected_satellites, "Get frequently unexpected satellites (possible spoofing)"),
    QCN_ENTRY(get_visibility_anomaly_types, "Get visibility anomaly types"),
    QCN_ENTRY(get_visibility_anomaly_descriptions, "Get visibility anomaly descriptions"),
    QCN_ENTRY(visibility_debug, "Get detailed visibility debug info per system"),
    QCN_ENTRY(get_quality_assessment,
              "Get the quality assessment: overall, its three scores, grade and interpretation, as numbers and texts"),
    QCN_ENTRY(get_visibility_anomalies,
              "Get visibility anomalies as dicts with start and end times, duration in seconds and satellites"),
    QCN_ENTRY(get_mean_cn0_series, "Get timeseries mean CN0 values"),
    QCN_ENTRY(get_satellite_count_series, "Get timeseries satellite counts"),
    QCN_ENTRY(get_satellite_ids, "Get satellite IDs"),
    QCN_ENTRY(get_anomaly_timestamps, "Get anomaly timestamps"),
    QCN_ENTRY(get_anomaly_severities, "Get anomaly severities"),
    QCN_ENTRY(get_anomaly_cn0_drops, "Get anomaly CN0 drops"),
    {nullptr, nullptr, 0, nullptr},
};

#undef QCN_ENTRY

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
    getset,
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
