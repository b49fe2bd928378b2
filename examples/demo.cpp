// Saves an object through the registries and loads it back.
#include <cstdio>
#include <iostream>
#include <memory>

#include "Core/demangle.h"
#include "Serialization/serialization.h"

namespace {

struct flat_rate {
  double rate = 0.0;
};

void register_flat_rate() {
  const std::string name = qavrek::demangle(typeid(flat_rate).name());
  qavrek::JsonSerializationRegistry()->add(name, [](qavrek::ordered_json& archive, void* object, bool load) {
    if (load) {
      auto loaded = std::make_shared<flat_rate>();
      loaded->rate = archive.at("rate").get<double>();
      *static_cast<std::shared_ptr<flat_rate>*>(object) = loaded;
    } else {
      archive["rate"] = static_cast<flat_rate*>(object)->rate;
    }
  });
}

}  // namespace

int main() {
  register_flat_rate();
  const std::string name = qavrek::demangle(typeid(flat_rate).name());
  const auto* handler = qavrek::JsonSerializationRegistry()->find(name);

  flat_rate saved{0.0325};
  qavrek::ordered_json file;
  file["root"]["Class"] = name;
  (*handler)(file["root"], &saved, false);
  const std::string path = "demo_flat_rate.json";
  qavrek::serialization::access::write_json(path, file);

  qavrek::ordered_json read;
  qavrek::serialization::access::read_json(path, read);
  std::shared_ptr<flat_rate> loaded;
  (*handler)(read.at("root"), &loaded, true);
  std::cout << "saved " << name << " with rate " << saved.rate << ", loaded it back with rate " << loaded->rate
            << "\n";
  std::remove(path.c_str());
  return loaded->rate == saved.rate ? 0 : 1;
}
