#include "Analytics/parameters/day_count_convention_form.h"

#include <memory>
#include <string>
#include <vector>

#include "Serialization/serialization_impl.h"
#include "Util/calendar.h"

namespace qavrek {
namespace {

namespace ser = serialization;

template <class Archive>
using wrapper = ser::archiver_wrapper<std::remove_const_t<Archive>>;

// A nested envelope must name a class, as any envelope loaded by the templates must.
void check_class_name(const std::string& name) {
  if (name.empty())
    ::qavrek::details::check_fail("load_object", ser::details::serialization_impl_file, ser::details::class_name_check_line,
                        "Non valid class name");
}

template <class Archive>
void save_calendar(Archive& archive, const calendar* holidays) {
  if (holidays == nullptr) {
    wrapper<Archive>::write_class_name(archive, ser::null_object_name);
    return;
  }
  wrapper<Archive>::write_class_name(archive, ser::class_name<calendar>());
  ser::save(wrapper<Archive>::member_for_writing(archive, "use_weekends"), holidays->use_weekends());
  ser::save(wrapper<Archive>::member_for_writing(archive, "dates"), holidays->dates());
}

template <class Archive>
void save_convention(Archive& archive, const day_count_convention* convention) {
  if (convention == nullptr) {
    wrapper<Archive>::write_class_name(archive, ser::null_object_name);
    return;
  }
  wrapper<Archive>::write_class_name(archive, ser::class_name<day_count_convention>());
  ser::save(wrapper<Archive>::member_for_writing(archive, "type"), convention->type());
  save_calendar(wrapper<Archive>::member_for_writing(archive, "calendar"), convention->calendar().get());
}

// A default calendar, filled from the envelope unless that is a null one.
template <class Archive>
ptr_const<calendar> load_calendar(Archive& archive) {
  auto holidays = std::make_shared<calendar>();
  const std::string name = wrapper<Archive>::read_class_name(archive);
  check_class_name(name);
  if (name == ser::null_object_name) return holidays;
  bool use_weekends = true;
  std::vector<datetime> dates;
  ser::load(wrapper<Archive>::member_for_reading(archive, "use_weekends"), use_weekends);
  ser::load(wrapper<Archive>::member_for_reading(archive, "dates"), dates);
  holidays->set_use_weekends(use_weekends);
  holidays->set_dates(std::move(dates));
  holidays->initialize();
  return holidays;
}

template <class Archive>
ptr_const<day_count_convention> load_convention(Archive& archive) {
  auto convention = std::make_shared<day_count_convention>();
  const std::string name = wrapper<Archive>::read_class_name(archive);
  check_class_name(name);
  if (name == ser::null_object_name) return convention;
  auto type = day_count_convention_type::ACT_365F;
  ser::load(wrapper<Archive>::member_for_reading(archive, "type"), type);
  convention->set_type(type);
  convention->set_calendar(load_calendar(wrapper<Archive>::member_for_reading(archive, "calendar")));
  convention->initialize();
  return convention;
}

}  // namespace

void day_count_convention_to_json(ordered_json& j, const day_count_convention* convention) {
  save_convention(j, convention);
}

ptr_const<day_count_convention> day_count_convention_from_json(const ordered_json& j) { return load_convention(j); }

void day_count_convention_to_binary(multi_process_stream& s, const day_count_convention* convention) {
  save_convention(s, convention);
}

ptr_const<day_count_convention> day_count_convention_from_binary(multi_process_stream& s) {
  return load_convention(s);
}

}  // namespace qavrek
