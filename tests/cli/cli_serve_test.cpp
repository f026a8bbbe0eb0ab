// seqfx serve over loopback HTTP: the module list and tables, renders that
// match the command line byte for byte, and the answers to bad requests,
// uploads and a crashing module.

#include "cli_support.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

using namespace cli_test;
using nlohmann::json;

namespace {

std::string base64_decode(const std::string &in) {
  static const std::string a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned v = 0;
  int bits = 0;
  for (char c : in) {
    const std::size_t p = a.find(c);
    if (p == std::string::npos) continue;
    v = v << 6 | (unsigned)p;
    if ((bits += 6) >= 8) out += (char)((v >> (bits -= 8)) & 0xFF);
  }
  return out;
}

// A server on a free loopback port, serving the test fixtures' modules and
// the pictures of one folder; stopped with SIGTERM at the end. With tmp,
// the server keeps its working folders there.
class Server {
 public:
  explicit Server(const std::string &folder, const std::string &tmp = "") {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      close(fds[0]);
      if (!tmp.empty()) setenv("TMPDIR", tmp.c_str(), 1);
      execl(SEQFX_CLI, "seqfx", "--plugins", fixture_dir().c_str(), "serve", "--port", "0", folder.c_str(),
            (char *)nullptr);
      _exit(127);
    }
    close(fds[1]);
    FILE *f = fdopen(fds[0], "r");
    char line[256] = {0};
    if (!fgets(line, sizeof line, f)) line[0] = 0;
    fclose(f);
    const char *at = std::strstr(line, "127.0.0.1:");
    port_ = at ? std::atoi(at + 10) : 0;
  }
  ~Server() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the server did not stop cleanly";
  }
  int port() const { return port_; }
  httplib::Client client() const {
    httplib::Client c("127.0.0.1", port_);
    c.set_read_timeout(60, 0);
    return c;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

json render(const Server &s, const json &req, int *status) {
  auto r = s.client().Post("/api/render", req.dump(), "application/json");
  if (!r) {
    *status = -1;
    return json();
  }
  *status = r->status;
  return json::parse(r->body);
}

}  // namespace

TEST(Serve, ListsModulesWithFactsAndTablesWithLabelsAsDeclared) {
  TempDir dir;
  Server s(dir.path());
  ASSERT_GT(s.port(), 0);
  auto list = s.client().Get("/api/modules");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->status, 200);
  bool found = false;
  for (const json &m : json::parse(list->body))
    if (m.at("name") == "cli_probe") {
      found = true;
      EXPECT_EQ(m.at("display_name"), "CLI Probe");
      EXPECT_EQ(m.at("strips_needed"), 2);
    }
  EXPECT_TRUE(found);

  auto t = s.client().Get("/api/modules/cli_probe");
  ASSERT_TRUE(t);
  ASSERT_EQ(t->status, 200);
  const json table = json::parse(t->body).at("table");
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(table[0].at("kind"), "label");
  EXPECT_EQ(table[2].at("kind"), "colour");
  EXPECT_EQ(table[3].at("label"), "Gain ");  // trailing blank kept
  EXPECT_EQ(table[3].at("name"), "Gain");
  EXPECT_EQ(table[3].at("max"), 4);
  EXPECT_EQ(table[3].at("tip"), "a float with a trailing blank");
  EXPECT_EQ(table[4].at("kind"), "text");

  auto missing = s.client().Get("/api/modules/nosuch");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_TRUE(contains(json::parse(missing->body).at("error"), "nosuch"));
}

TEST(Serve, RendersWhatTheCopiedCommandRendersWithConsoleLines) {
  TempDir dir;
  Server s(dir.path());
  int status = 0;
  const json req{{"module", "cli_probe"}, {"values", {{"Mode", 2}, {"Gain ", 2.5}}},
                 {"factor0", 0.5},        {"factor1", 0.25},
                 {"frame", 7},            {"width", 8},
                 {"height", 4}};
  const json j = render(s, req, &status);
  ASSERT_EQ(status, 200) << j.dump();
  const std::string png = base64_decode(j.at("png"));
  {
    std::ofstream(dir / "preview_server.png", std::ios::binary) << png;
  }
  const FilePicture pic = read_file(dir / "preview_server.png");
  ASSERT_EQ(pic.width, 8);
  ASSERT_EQ(pic.height, 4);
  EXPECT_EQ(pic.byte_pixel(3, 2), (Pixel{127, 63, 7, 255}));
  bool line = false;
  for (const json &l : j.at("console")) line = line || l == "cli_probe: frame 7 mode 2";
  EXPECT_TRUE(line) << j.at("console").dump();
  EXPECT_EQ(j.at("values").at("Gain"), "2.5");

  // The command, run in a folder of its own, writes the same bytes.
  std::string cmd = j.at("command");
  ASSERT_EQ(cmd.compare(0, 6, "seqfx "), 0);
  EXPECT_TRUE(contains(cmd, "--set Mode=2")) << cmd;
  EXPECT_TRUE(contains(cmd, "--set Gain=2.5")) << cmd;
  cmd = std::string(SEQFX_CLI) + cmd.substr(5);
  ASSERT_EQ(run({"sh", "-c", "cd " + dir.path() + " && " + cmd}), 0) << cmd;
  EXPECT_EQ(file_bytes(dir / "preview.png"), png);
}

TEST(Serve, TurnsDownBadRequestsWithAReasonAndKeepsServing) {
  TempDir dir;
  Server s(dir.path());
  struct Case {
    json req;
    int status;
    const char *says;
  } cases[] = {
      {{{"module", "nosuch"}}, 404, "no module named"},
      {{{"module", "cli_probe"}, {"values", {{"Gain", 9}}}}, 400, "Gain"},
      {{{"module", "cli_probe"}, {"values", {{"Nope", 1}}}}, 400, "no parameter named \"Nope\""},
      {{{"module", "cli_probe"}, {"frame", 1.5}}, 400, "whole number"},
      {{{"module", "cli_probe"}, {"width", 100000}}, 400, "width"},
      {{{"module", "cli_probe"}, {"strips", json::array({{{"scene", "scene"}}, {{"scene", "x"}}})}}, 400, "\"x\""},
      {{{"module", "cli_probe"}, {"strips", json::array({{{"picture", "1/none.png"}}})}}, 404, "1/none.png"},
      {{{"module", "cli_probe"}, {"strips", json::array({{{"png", "aGVsbG8="}}})}}, 415, "not a PNG"},
      {{{"module", "cli_probe"}, {"factor0", "high"}}, 400, "factor0"},
  };
  for (const Case &c : cases) {
    int status = 0;
    const json j = render(s, c.req, &status);
    EXPECT_EQ(status, c.status) << c.req.dump();
    EXPECT_TRUE(contains(j.value("error", ""), c.says)) << c.req.dump() << " -> " << j.dump();
  }
  auto notjson = s.client().Post("/api/render", "{oops", "application/json");
  ASSERT_TRUE(notjson);
  EXPECT_EQ(notjson->status, 400);

  // A module that crashes costs one answer, not the server.
  int status = 0;
  json j = render(s, {{"module", "cli_probe"}, {"values", {{"Mode", 6}}}, {"width", 4}, {"height", 4}}, &status);
  EXPECT_EQ(status, 500);
  EXPECT_TRUE(contains(j.value("error", ""), "crashed")) << j.dump();
  j = render(s, {{"module", "cli_probe"}, {"width", 4}, {"height", 4}}, &status);
  EXPECT_EQ(status, 200) << j.dump();
}

TEST(Serve, LeavesNoWorkingFoldersBehind) {
  TempDir dir, tmp;
  {
    Server s(dir.path(), tmp.path());
    ASSERT_GT(s.port(), 0);
    int status = 0;
    json j = render(s, {{"module", "cli_probe"}, {"width", 4}, {"height", 4}}, &status);
    EXPECT_EQ(status, 200) << j.dump();
    // A render whose module crashes leaves its job folder too.
    j = render(s, {{"module", "cli_probe"}, {"values", {{"Mode", 6}}}, {"width", 4}, {"height", 4}}, &status);
    EXPECT_EQ(status, 500) << j.dump();
    // Only the folder for the server's pictures while it runs.
    const std::vector<std::string> running = tmp.files();
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0].compare(0, 12, "seqfx-serve-"), 0) << running[0];
  }
  EXPECT_TRUE(tmp.files().empty()) << tmp.files()[0];
}

TEST(Serve, UploadsAndFolderPicturesServeAsStrips) {
  TempDir dir;
  write_png(dir / "red.png", 6, 3, [](int, int) { return Pixel{200, 10, 20, 255}; });
  Server s(dir.path());
  auto pics = s.client().Get("/api/pictures");
  ASSERT_TRUE(pics);
  EXPECT_TRUE(contains(pics->body, "\"1/red.png\""));

  // A truncated PNG and something that is no picture are refused.
  const std::string bytes = file_bytes(dir / "red.png");
  auto cut = s.client().Post("/api/upload", bytes.substr(0, 30), "application/octet-stream");
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->status, 400);
  auto text = s.client().Post("/api/upload", "plain text", "application/octet-stream");
  ASSERT_TRUE(text);
  EXPECT_EQ(text->status, 415);

  httplib::MultipartFormDataItems form{{"file", bytes, "red.png", "image/png"}};
  auto up = s.client().Post("/api/upload", form);
  ASSERT_TRUE(up);
  ASSERT_EQ(up->status, 200) << up->body;
  const std::string id = json::parse(up->body).at("upload");

  // Mode 0 copies strip 1; the scene strip 2 takes its size.
  int status = 0;
  for (const json &strip : {json{{"upload", id}}, json{{"picture", "1/red.png"}}}) {
    const json j = render(s, {{"module", "cli_probe"}, {"strips", json::array({strip, {{"scene", "second"}}})}},
                          &status);
    ASSERT_EQ(status, 200) << j.dump();
    std::ofstream(dir / "got.png", std::ios::binary) << base64_decode(j.at("png"));
    const FilePicture pic = read_file(dir / "got.png");
    ASSERT_EQ(pic.width, 6);
    EXPECT_EQ(pic.byte_pixel(2, 1), (Pixel{200, 10, 20, 255}));
  }
}
