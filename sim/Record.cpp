#include "Record.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace cardsim {

namespace {

const char *const SUMMARY_FILE = "card.txt";

void makeDirs(const std::string &dir) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/')
      continue;
    const std::string part = dir.substr(0, pos);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      throw std::runtime_error("cannot create " + part + ": " + std::strerror(errno));
    }
  }
}

void writeFile(const std::string &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

} // namespace

Record::Record() : start_(std::chrono::steady_clock::now()) {}

void Record::received(const Bytes &bytes) {
  received_.insert(received_.end(), bytes.begin(), bytes.end());
}

void Record::event(const std::string &text) {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  events_.push_back(text);
  eventMillis_.push_back(
      static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  if (listener_)
    listener_(text);
}

void Record::set(const std::string &key, const std::string &value) {
  for (auto &entry : summary_) {
    if (entry.first == key) {
      entry.second = value;
      return;
    }
  }
  summary_.emplace_back(key, value);
}

void Record::count(const std::string &name) { ++counters_[name]; }

void Record::appendFile(const std::string &name, const Bytes &bytes) {
  Bytes &file = files_[name];
  file.insert(file.end(), bytes.begin(), bytes.end());
}

void Record::setFile(const std::string &name, const Bytes &bytes) { files_[name] = bytes; }

std::string Record::value(const std::string &key) const {
  for (const auto &entry : summary_) {
    if (entry.first == key)
      return entry.second;
  }
  return {};
}

long Record::counter(const std::string &name) const {
  auto it = counters_.find(name);
  return it == counters_.end() ? 0 : it->second;
}

bool Record::hasEvent(const std::string &text) const {
  return std::find(events_.begin(), events_.end(), text) != events_.end();
}

void Record::writeTo(const std::string &dir) const {
  makeDirs(dir);
  const std::string base = dir + "/";
  writeFile(base + "received.bin", std::string(received_.begin(), received_.end()));

  std::string events;
  std::string timeline;
  for (size_t i = 0; i < events_.size(); ++i) {
    events += events_[i] + "\n";
    timeline += std::to_string(eventMillis_[i]) + " " + events_[i] + "\n";
  }
  writeFile(base + "events.log", events);
  writeFile(base + "timeline.log", timeline);

  std::string summary;
  for (const auto &entry : summary_)
    summary += entry.first + "=" + entry.second + "\n";
  for (const auto &entry : counters_) {
    summary += "count." + entry.first + "=" + std::to_string(entry.second) + "\n";
  }
  writeFile(base + SUMMARY_FILE, summary);

  for (const auto &file : files_) {
    writeFile(base + file.first, std::string(file.second.begin(), file.second.end()));
  }
}

std::optional<Bytes> Record::readFrom(const std::string &dir, const std::string &name) {
  std::ifstream in(dir + "/" + name, std::ios::binary);
  if (!in)
    return std::nullopt;
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> Record::readSummary(const std::string &dir) {
  std::map<std::string, std::string> values;
  const Bytes text = readFrom(dir, SUMMARY_FILE).value_or(Bytes{});
  std::istringstream lines(std::string(text.begin(), text.end()));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos)
      values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

} // namespace cardsim
