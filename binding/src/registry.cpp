// The module's names, in registration order: the classes of the catalog
// (core/src/catalog.hpp), each built from its description, with the
// functions and pipelines among them. The first twenty are the published
// names, in the order of __all__; the rest are registered on the module
// outside __all__. The order is also the order in which a pipeline
// recognises its features and targets.
#include "registry.hpp"

#include <algorithm>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "book.hpp"
#include "catalog.hpp"
#include "descriptions.hpp"
#include "frame/class_builder.hpp"
#include "frame/described.hpp"
#include "frame/snapshot_methods.hpp"
#include "frame/target_class.hpp"
#include "frame/transform_class.hpp"
#include "pipelines.hpp"
#include "scalers.hpp"

namespace vexal::py {
namespace {

// One name of the module and how its object is made (a new reference).
struct Entry {
  std::string name;
  std::function<Ref(PyObject* module)> object;
};

template <class Core>
Entry described_class() {
  if constexpr (std::is_base_of_v<Target, Core>) {
    const TargetFace face = described_target<Core>();
    return {short_name(face.qualified_name), [face](PyObject*) {
              return Ref::borrow(reinterpret_cast<PyObject*>(TargetClass<Core>::type(face)));
            }};
  } else {
    const TransformFace face = described_transform<Core>();
    return {short_name(face.qualified_name), [face](PyObject*) {
              return Ref::borrow(reinterpret_cast<PyObject*>(TransformClass<Core>::type(face)));
            }};
  }
}

template <class List>
void append_classes(std::vector<Entry>& entries) {
  for_each_class<List>([&]<class Core>() { entries.push_back(described_class<Core>()); });
}

Entry type(const char* name, PyTypeObject* (*make)()) {
  return {name, [make](PyObject*) { return Ref::borrow(reinterpret_cast<PyObject*>(make())); }};
}

Entry function(PyMethodDef& def) {
  return {def.ml_name, [&def](PyObject* module) { return module_function(module, def); }};
}

// The names in __all__, in its order: the transforms, the scaler's fitting
// function, the targets, the pipelines.
std::vector<Entry> published() {
  std::vector<Entry> entries;
  append_classes<PublishedClasses>(entries);
  const auto first_target =
      std::find_if(entries.begin(), entries.end(), [](const Entry& e) { return e.name == "FutureReturn"; });
  entries.insert(first_target, function(fit_standard_scaler_def()));
  entries.push_back(type("FeaturePipeline", &feature_pipeline_type));
  entries.push_back(type("TargetPipeline", &target_pipeline_type));
  return entries;
}

// Registered on the module after the published names, outside __all__.
std::vector<Entry> also_registered() {
  std::vector<Entry> entries = {function(load_function_def()), function(describe_function_def())};
  append_classes<LaterClasses>(entries);
  entries.push_back(type("FeatureBook", &feature_book_type));
  entries.push_back(function(cross_section_function_def()));
  return entries;
}

}  // namespace

void register_everything(PyObject* module) {
  for (const Entry& e : published()) add_to_module(module, e.name.c_str(), e.object(module).get());
  for (const Entry& e : also_registered()) set_on_module(module, e.name.c_str(), e.object(module).get());
}

}  // namespace vexal::py
