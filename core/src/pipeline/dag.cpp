#include "pipeline/dag.hpp"

#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "internal_failure.hpp"

namespace vexal {

std::expected<FeatureDag, VexalError> FeatureDag::create(std::vector<TransformPtr> transforms) {
  const std::size_t n = transforms.size();
  for (const auto& t : transforms) {
    if (!t) throw InternalFailure("feature dag: null transform");
  }

  // Producers first, over the whole list, so a duplicate is reported before
  // any cycle can be.
  std::unordered_map<std::string, std::size_t> producer;
  for (std::size_t i = 0; i < n; ++i) {
    for (auto& name : transforms[i]->output_names()) {
      const auto [it, inserted] = producer.try_emplace(std::move(name), i);
      if (!inserted) return std::unexpected(VexalError::duplicate_output_key(it->first, it->second, i));
    }
  }

  // One dependents entry per reading input name, so a consumer that reads two
  // outputs of one producer counts it twice and is released by it at once.
  std::vector<std::vector<std::size_t>> dependents(n);
  std::vector<std::size_t> in_degree(n, 0);
  Names external_inputs;
  std::unordered_set<std::string> external_seen;
  for (std::size_t i = 0; i < n; ++i) {
    for (auto& name : transforms[i]->input_names()) {
      const auto found = producer.find(name);
      if (found == producer.end()) {
        if (external_seen.insert(name).second) external_inputs.push_back(std::move(name));
      } else if (found->second != i) {
        dependents[found->second].push_back(i);
        ++in_degree[i];
      }
      // Reading one's own output makes no edge: the transform reads the
      // table as it stands when it runs.
    }
  }

  // Kahn's algorithm, one queue generation per stage.
  std::vector<std::vector<std::size_t>> index_stages;
  std::deque<std::size_t> ready;
  for (std::size_t i = 0; i < n; ++i) {
    if (in_degree[i] == 0) ready.push_back(i);
  }
  std::size_t processed = 0;
  while (!ready.empty()) {
    const std::size_t k = ready.size();
    processed += k;
    auto& stage = index_stages.emplace_back();
    stage.reserve(k);
    for (std::size_t taken = 0; taken < k; ++taken) {
      const std::size_t r = ready.front();
      ready.pop_front();
      stage.push_back(r);
      for (const std::size_t s : dependents[r]) {
        if (--in_degree[s] == 0) ready.push_back(s);
      }
    }
  }
  if (processed != n) return std::unexpected(VexalError::cyclic_dependency());

  std::vector<Stage> stages;
  stages.reserve(index_stages.size());
  Names output_names;
  for (const auto& indices : index_stages) {
    auto& stage = stages.emplace_back();
    stage.reserve(indices.size());
    for (const std::size_t i : indices) {
      for (auto& name : transforms[i]->output_names()) output_names.push_back(std::move(name));
      stage.push_back(std::move(transforms[i]));
    }
  }
  return FeatureDag(std::move(stages), std::move(output_names), std::move(external_inputs), n);
}

}  // namespace vexal
