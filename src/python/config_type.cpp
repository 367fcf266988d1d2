// The AnalysisConfig class: analysis options built from keywords, read-only afterwards.
#include <array>
#include <span>
#include <string>

#include "cn0/analysis_config.hpp"
#include "python/convert.hpp"
#include "python/module_state.hpp"
#include "python/wrapper.hpp"

namespace qcn::python {
namespace {

using Record = cn0::AnalysisConfig;

enum Arg {
  kMinElevation, kMinCn0, kMaxCn0, kTimeBinSeconds, kTimeBin, kSystems, kThresholdLow, kThresholdHigh,
  kThresholdCritical, kDetectAnomalies, kSensitivity, kInterference, kVerbose, kNavFile, kSpoofingThreshold,
  kSpoofingCount, kMinDrop, kNoiseFactor, kSignalShare, kLossShare, kMinSatellites, kMinEpisode, kMinOutage, kMerge,
  kArgCount
};

constexpr std::array<Param, kArgCount> params{{
    {"min_elevation", false}, {"min_cn0", false}, {"max_cn0", false}, {"time_bin_seconds", false},
    {"time_bin", false}, {"systems", false}, {"anomaly_threshold_low", false}, {"anomaly_threshold_high", false},
    {"anomaly_threshold_critical", false}, {"detect_anomalies", false}, {"anomaly_sensitivity", false},
    {"interference_threshold_db", false}, {"verbose", false}, {"nav_file", false},
    {"spoofing_unexpected_threshold", false}, {"spoofing_min_unexpected_count", false},
    {"assessment_min_drop_db", false}, {"assessment_noise_factor", false}, {"assessment_signal_share", false},
    {"assessment_loss_share", false}, {"assessment_min_satellites", false},
    {"assessment_min_episode_seconds", false}, {"assessment_min_outage_seconds", false},
    {"assessment_merge_seconds", false},
}};

bool read_real(PyObject* given, Arg arg, double& field) {
  return given == nullptr || to_double(given, params[arg].name, field);
}

bool read_flag(PyObject* given, Arg arg, bool& field) {
  return given == nullptr || to_strict_bool(given, params[arg].name, field);
}

bool read_optional_u32(PyObject* given, Arg arg, std::optional<std::uint32_t>& field) {
  if (is_absent(given)) return true;
  std::uint32_t value = 0;
  if (!to_u32(given, params[arg].name, value)) return false;
  field = value;
  return true;
}

bool read_assessment(const std::array<PyObject*, kArgCount>& a, cn0::AssessmentSettings& s) {
  return read_real(a[kMinDrop], kMinDrop, s.min_drop_db) && read_real(a[kNoiseFactor], kNoiseFactor, s.noise_factor) &&
         read_real(a[kSignalShare], kSignalShare, s.signal_share) &&
         read_real(a[kLossShare], kLossShare, s.loss_share) &&
         (a[kMinSatellites] == nullptr || to_u32(a[kMinSatellites], params[kMinSatellites].name, s.min_satellites)) &&
         read_real(a[kMinEpisode], kMinEpisode, s.min_episode_seconds) &&
         read_real(a[kMinOutage], kMinOutage, s.min_outage_seconds) && read_real(a[kMerge], kMerge, s.merge_seconds);
}

/// Converts the given arguments in parameter order; the first failure ends construction.
bool read_config(const std::array<PyObject*, kArgCount>& a, Record& c) {
  std::optional<std::uint32_t> time_bin_seconds;
  std::optional<std::uint32_t> time_bin;
  if (!read_real(a[kMinElevation], kMinElevation, c.min_elevation) || !read_real(a[kMinCn0], kMinCn0, c.min_cn0) ||
      !read_real(a[kMaxCn0], kMaxCn0, c.max_cn0) ||
      !read_optional_u32(a[kTimeBinSeconds], kTimeBinSeconds, time_bin_seconds) ||
      !read_optional_u32(a[kTimeBin], kTimeBin, time_bin)) {
    return false;
  }
  if (!is_absent(a[kSystems])) {
    std::vector<std::string> systems;
    if (!to_string_list(a[kSystems], "systems", systems)) return false;
    c.systems = std::move(systems);
  }
  if (!read_real(a[kThresholdLow], kThresholdLow, c.anomaly_threshold_low) ||
      !read_real(a[kThresholdHigh], kThresholdHigh, c.anomaly_threshold_high) ||
      !read_real(a[kThresholdCritical], kThresholdCritical, c.anomaly_threshold_critical) ||
      !read_flag(a[kDetectAnomalies], kDetectAnomalies, c.detect_anomalies) ||
      !read_real(a[kSensitivity], kSensitivity, c.anomaly_sensitivity) ||
      !read_real(a[kInterference], kInterference, c.interference_threshold_db) ||
      !read_flag(a[kVerbose], kVerbose, c.verbose)) {
    return false;
  }
  if (!is_absent(a[kNavFile])) {
    std::string nav_file;
    if (!to_path(a[kNavFile], "nav_file", nav_file)) return false;
    c.nav_file = std::move(nav_file);
  }
  if (!read_real(a[kSpoofingThreshold], kSpoofingThreshold, c.spoofing_unexpected_threshold) ||
      !read_real(a[kSpoofingCount], kSpoofingCount, c.spoofing_min_unexpected_count)) {
    return false;
  }
  c.time_bin_seconds = time_bin_seconds ? *time_bin_seconds : time_bin ? *time_bin : 60;
  return read_assessment(a, c.assessment);
}

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  std::array<PyObject*, kArgCount> bound{};
  // The assessment's thresholds are keywords only: binding the positional part alone reports too
  // many positional arguments as it did before they were added.
  const std::span<const Param> positional = std::span(params).first(kMinDrop);
  if (PyTuple_Size(args) > static_cast<Py_ssize_t>(positional.size())) {
    (void)bind_tuple_call("AnalysisConfig.__new__()", positional, args, kwargs, std::span(bound).first(kMinDrop));
    return nullptr;  // the binder set the TypeError
  }
  if (!bind_tuple_call("AnalysisConfig.__new__()", params, args, kwargs, bound)) return nullptr;
  return guarded([&]() -> PyObject* {
    Record config;
    if (!read_config(bound, config)) return nullptr;
    return wrap_record(type, cn0::scaled_config(std::move(config)));
  });
}

template <double Record::*Field>
PyObject* get_real(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_float(r.*Field).release(); });
}

template <bool Record::*Field>
PyObject* get_flag(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_bool(r.*Field).release(); });
}

template <double cn0::AssessmentSettings::*Field>
PyObject* get_assessment_real(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_float(r.assessment.*Field).release(); });
}

PyObject* get_assessment_min_satellites(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_int(r.assessment.min_satellites).release(); });
}

PyObject* get_time_bin_seconds(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) { return to_py_int(r.time_bin_seconds).release(); });
}

PyObject* get_systems(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) {
    return r.systems ? to_py_str_list(*r.systems).release() : Py_NewRef(Py_None);
  });
}

PyObject* get_nav_file(PyObject* self, void*) {
  return with_record<Record>(self, [](const Record& r) {
    return r.nav_file ? to_py_str(*r.nav_file).release() : Py_NewRef(Py_None);
  });
}

PyGetSetDef getset[] = {
    {"min_elevation", get_real<&Record::min_elevation>, nullptr, "", nullptr},
    {"min_cn0", get_real<&Record::min_cn0>, nullptr, "", nullptr},
    {"max_cn0", get_real<&Record::max_cn0>, nullptr, "", nullptr},
    {"time_bin_seconds", get_time_bin_seconds, nullptr, "", nullptr},
    {"systems", get_systems, nullptr, "", nullptr},
    {"anomaly_threshold_low", get_real<&Record::anomaly_threshold_low>, nullptr, "", nullptr},
    {"anomaly_threshold_high", get_real<&Record::anomaly_threshold_high>, nullptr, "", nullptr},
    {"anomaly_threshold_critical", get_real<&Record::anomaly_threshold_critical>, nullptr, "", nullptr},
    {"detect_anomalies", get_flag<&Record::detect_anomalies>, nullptr, "", nullptr},
    {"anomaly_sensitivity", get_real<&Record::anomaly_sensitivity>, nullptr, "", nullptr},
    {"interference_threshold_db", get_real<&Record::interference_threshold_db>, nullptr, "", nullptr},
    {"verbose", get_flag<&Record::verbose>, nullptr, "", nullptr},
    {"nav_file", get_nav_file, nullptr, "", nullptr},
    {"spoofing_unexpected_threshold", get_real<&Record::spoofing_unexpected_threshold>, nullptr, "", nullptr},
    {"spoofing_min_unexpected_count", get_real<&Record::spoofing_min_unexpected_count>, nullptr, "", nullptr},
    {"assessment_min_drop_db", get_assessment_real<&cn0::AssessmentSettings::min_drop_db>, nullptr, "", nullptr},
    {"assessment_noise_factor", get_assessment_real<&cn0::AssessmentSettings::noise_factor>, nullptr, "", nullptr},
    {"assessment_signal_share", get_assessment_real<&cn0::AssessmentSettings::signal_share>, nullptr, "", nullptr},
    {"assessment_loss_share", get_assessment_real<&cn0::AssessmentSettings::loss_share>, nullptr, "", nullptr},
    {"assessment_min_satellites", get_assessment_min_satellites, nullptr, "", nullptr},
    {"assessment_min_episode_seconds", get_assessment_real<&cn0::AssessmentSettings::min_episode_seconds>, nullptr,
     "", nullptr},
    {"assessment_min_outage_seconds", get_assessment_real<&cn0::AssessmentSettings::min_outage_seconds>, nullptr,
     "", nullptr},
    {"assessment_merge_seconds", get_assessment_real<&cn0::AssessmentSettings::merge_seconds>, nullptr, "", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const ClassDefinition kClass = {
    "quorlin_cn0.AnalysisConfig",
    "AnalysisConfig(min_elevation=5.0, min_cn0=0.0, max_cn0=60.0, time_bin_seconds=None, "
    "time_bin=None, systems=None, anomaly_threshold_low=3.0, anomaly_threshold_high=6.0, "
    "anomaly_threshold_critical=10.0, detect_anomalies=True, anomaly_sensitivity=0.5, "
    "interference_threshold_db=6.0, verbose=False, nav_file=None, "
    "spoofing_unexpected_threshold=0.40, spoofing_min_unexpected_count=8.0, *, assessment_min_drop_db=4.0, "
    "assessment_noise_factor=3.0, assessment_signal_share=0.6, assessment_loss_share=0.5, "
    "assessment_min_satellites=3, assessment_min_episode_seconds=120.0, assessment_min_outage_seconds=60.0, "
    "assessment_merge_seconds=60.0)\n--\n\n"
    "Python wrapper for AnalysisConfig",
    config_new,
    nullptr,
    getset,
    nullptr,
};

}  // namespace

PyObject* create_analysis_config_type(PyObject* module) {
  return create_record_type<Record>(module, kClass);
}

const cn0::AnalysisConfig& analysis_config_record(PyObject* object) {
  return payload_of<cn0::AnalysisConfig>(object)->record();
}

}  // namespace qcn::python
