// ranvique: the command-line host of the library.
//
//   ranvique similarity|stats|perceptual A B [GATES]
//   ranvique diff A B OUT [GATES]
//   ranvique batch [--jobs N] [GATES] [LIST]
//
// Exit status: 0 pass, 1 a gate failed, 2 an error (bad arguments, a file
// that cannot be read or decoded, a diff that cannot be written).
//
// The library keeps its last-error and statistics texts once per process, so
// the batch runs every pair in a worker process of its own: each worker's
// texts belong to its one pair, and the pairs still decode in parallel.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ranvique.h"

namespace {

const int kPass = 0, kGateFailed = 1, kError = 2;

const char kUsage[] =
    "usage: ranvique similarity|stats|perceptual A B [GATES]\n"
    "       ranvique diff A B OUT [GATES]\n"
    "       ranvique batch [--jobs N] [GATES] [LIST]\n"
    "       ranvique --help | --version\n";

const char kHelp[] =
    "Compares two image files (JPEG, PNG, BMP, PSD, TGA, GIF, HDR, PIC, PGM/PPM).\n"
    "\n"
    "commands:\n"
    "  similarity A B     print the pixel similarity of B to A, 0 to 100\n"
    "  stats A B          print the comparison as one line of JSON\n"
    "  diff A B OUT       write the difference image to OUT (PNG, or BMP/JPEG by\n"
    "                     extension) and print OUT\n"
    "  perceptual A B     print the perceptual score, 0 to 100\n"
    "  batch [LIST]       compare the pairs listed in LIST (standard input when\n"
    "                     absent or '-'): one pair a line, tab-separated PRIMARY,\n"
    "                     SECONDARY and an optional diff OUT; one JSON object a\n"
    "                     line on standard output, in input order\n"
    "\n"
    "gates (any command; each is computed when the command does not print it):\n"
    "  --min-similarity P         fail unless the similarity is at least P\n"
    "  --max-different-pixels N   fail unless at most N pixels differ\n"
    "  --min-perceptual P         fail unless the perceptual score is at least P\n"
    "\n"
    "options:\n"
    "  -j, --jobs N       batch: pairs compared at once, 1 to 256 (default: the\n"
    "                     number of processors)\n"
    "  -h, --help         show this help\n"
    "  -V, --version      show the version\n"
    "  --                 what follows are paths, even when they start with '-'\n"
    "\n"
    "exit status: 0 pass, 1 a gate failed, 2 error\n";

struct gates {
    bool min_similarity_set = false, max_different_set = false, min_perceptual_set = false;
    float min_similarity = 0.0f, min_perceptual = 0.0f;
    unsigned long long max_different = 0;
    bool any() const { return min_similarity_set || max_different_set || min_perceptual_set; }
};

struct usage_error {
    std::string message;
};

// Shortest decimal text that reads back as the same float: the score itself,
// and a value that works unchanged as a gate threshold.
std::string format_score(float v)
{
    char buf[64];
    for (int decimals = 0; decimals <= 12; ++decimals) {
        std::snprintf(buf, sizeof buf, "%.*f", decimals, static_cast<double>(v));
        if (std::strtof(buf, nullptr) == v) return buf;
    }
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

float parse_percent(const std::string &option, const std::string &text)
{
    char *end = nullptr;
    errno = 0;
    float v = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v < 0.0f || v > 100.0f)
        throw usage_error{option + " needs a number from 0 to 100, not '" + text + "'"};
    return v;
}

unsigned long long parse_count(const std::string &option, const std::string &text, unsigned long long max)
{
    char *end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || v > max)
        throw usage_error{option + " needs a whole number from " + (max == 256 ? "1 to 256" : "0") + ", not '" +
                          text + "'"};
    return v;
}

// JSON string: quotes, backslashes and control characters escaped; valid
// UTF-8 kept; any other byte written as \udcXX (the surrogate-escape
// convention), so that a path that is not UTF-8 still gives valid JSON and
// can be turned back into its bytes.
std::string json_string(const std::string &s)
{
    std::string out = "\"";
    const auto *p = reinterpret_cast<const unsigned char *>(s.data());
    const size_t n = s.size();
    char buf[8];
    for (size_t i = 0; i < n;) {
        unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            size_t len = (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
            bool valid = len > 0 && i + len <= n;
            for (size_t k = 1; valid && k < len; ++k) valid = (p[i + k] & 0xC0) == 0x80;
            if (valid && len == 3) {
                unsigned c1 = p[i + 1];
                valid = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);  // overlong, surrogate
            }
            if (valid && len == 4) {
                unsigned c1 = p[i + 1];
                valid = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
            }
            if (valid) {
                out.append(s, i, len);
                i += len;
            } else {
                std::snprintf(buf, sizeof buf, "\\udc%02x", c);
                out += buf;
                ++i;
            }
        }
    }
    out += '"';
    return out;
}

// The different_pixels field of the library's statistics text.
unsigned long long stats_different_pixels(const std::string &stats)
{
    const char key[] = "\"different_pixels\":";
    size_t at = stats.find(key);
    return at == std::string::npos ? 0 : std::strtoull(stats.c_str() + at + sizeof key - 1, nullptr, 10);
}

// ---- one pair: the library's answers, each message copied right after its call ----

struct pair_result {
    bool failed = false;
    std::string error;  // the library's message when failed
    bool have_stats = false, have_similarity = false, have_perceptual = false;
    std::string stats;
    float similarity = 0.0f, perceptual = 0.0f;
    bool gate_failed = false;
    std::vector<std::string> gate_messages;
};

bool run_stats(const char *a, const char *b, pair_result &r)
{
    const char *text = ranvique_stats(a, b);
    if (!text) {
        r.failed = true;
        r.error = ranvique_last_error();
        return false;
    }
    r.stats = text;
    r.have_stats = true;
    return true;
}

bool run_similarity(const char *a, const char *b, pair_result &r)
{
    float v = ranvique_similarity(a, b);
    if (v < 0.0f) {
        r.failed = true;
        r.error = ranvique_last_error();
        return false;
    }
    r.similarity = v;
    r.have_similarity = true;
    return true;
}

bool run_perceptual(const char *a, const char *b, pair_result &r)
{
    float v = ranvique_perceptual(a, b);
    if (v < 0.0f) {
        r.failed = true;
        r.error = ranvique_last_error();
        return false;
    }
    r.perceptual = v;
    r.have_perceptual = true;
    return true;
}

bool run_diff(const char *a, const char *b, const char *out, pair_result &r)
{
    if (!ranvique_diff(a, b, out)) {
        r.failed = true;
        r.error = ranvique_last_error();
        return false;
    }
    return true;
}

// Computes what the gates need and not yet computed, then applies them.
// Stops at the first failing call.
bool apply_gates(const char *a, const char *b, const gates &g, pair_result &r)
{
    if (g.min_similarity_set) {
        if (!r.have_similarity && !run_similarity(a, b, r)) return false;
        if (r.similarity < g.min_similarity) {
            r.gate_failed = true;
            r.gate_messages.push_back("similarity " + format_score(r.similarity) + " is below the minimum " +
                                      format_score(g.min_similarity));
        }
    }
    if (g.max_different_set) {
        if (!r.have_stats && !run_stats(a, b, r)) return false;
        unsigned long long d = stats_different_pixels(r.stats);
        if (d > g.max_different) {
            r.gate_failed = true;
            r.gate_messages.push_back(std::to_string(d) + " pixels differ, more than the maximum " +
                                      std::to_string(g.max_different));
        }
    }
    if (g.min_perceptual_set) {
        if (!r.have_perceptual && !run_perceptual(a, b, r)) return false;
        if (r.perceptual < g.min_perceptual) {
            r.gate_failed = true;
            r.gate_messages.push_back("perceptual score " + format_score(r.perceptual) + " is below the minimum " +
                                      format_score(g.min_perceptual));
        }
    }
    return true;
}

// ---- batch ----

struct batch_pair {
    long line = 0;
    std::vector<std::string> fields;  // primary, secondary[, diff output]
    std::string error;                // set when the pair is refused before it runs
};

std::string evaluate_pair(const batch_pair &p, const gates &g, int *status)
{
    std::string json = "{\"line\":" + std::to_string(p.line);
    const char *names[] = {"primary", "secondary", "diff"};
    for (size_t i = 0; i < p.fields.size() && i < 3; ++i) json += ",\"" + std::string(names[i]) + "\":" + json_string(p.fields[i]);
    pair_result r;
    if (!p.error.empty()) {
        r.failed = true;
        r.error = p.error;
    } else {
        const char *a = p.fields[0].c_str(), *b = p.fields[1].c_str();
        run_stats(a, b, r) && run_perceptual(a, b, r) && apply_gates(a, b, g, r) &&
            (p.fields.size() < 3 || run_diff(a, b, p.fields[2].c_str(), r));
    }
    // The statistics fields as the library wrote them, without the braces.
    if (r.have_stats && r.stats.size() >= 2) json += "," + r.stats.substr(1, r.stats.size() - 2);
    if (r.have_perceptual) json += ",\"perceptual\":" + format_score(r.perceptual);
    if (r.failed) {
        json += ",\"error\":" + json_string(r.error);
        *status = kError;
    } else {
        if (g.any()) json += std::string(",\"pass\":") + (r.gate_failed ? "false" : "true");
        *status = r.gate_failed ? kGateFailed : kPass;
    }
    return json + "}\n";
}

// Reads the list: one pair a line, fields separated by tabs, a trailing CR
// dropped, empty lines skipped.
bool read_list(std::istream &in, std::vector<batch_pair> &pairs)
{
    std::string text;
    long number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty()) continue;
        batch_pair p;
        p.line = number;
        size_t start = 0;
        for (;;) {
            size_t tab = text.find('\t', start);
            p.fields.push_back(text.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (text.find('\0') != std::string::npos) {
            p.error = "line " + std::to_string(number) + ": a NUL byte in the line";
        } else if (p.fields.size() < 2 || p.fields.size() > 3) {
            p.error = "line " + std::to_string(number) + ": expected 2 or 3 tab-separated fields, found " +
                      std::to_string(p.fields.size());
        }
        pairs.push_back(std::move(p));
    }
    return !in.bad();
}

#if !defined(_WIN32)
using file_id = std::pair<unsigned long long, unsigned long long>;
bool identify(const std::string &path, file_id *id)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    *id = {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
    return true;
}
#endif

// Nothing the batch reads is written: a diff output that names an input of
// any pair (by path, or the same file by another path) or the list itself is
// refused, and so is a diff output that an earlier line already writes.
void refuse_conflicting_outputs(std::vector<batch_pair> &pairs, const std::string &list_path)
{
    std::map<std::string, long> inputs;
#if !defined(_WIN32)
    std::map<file_id, long> input_files;
    file_id id;
    if (!list_path.empty() && identify(list_path, &id)) input_files[id] = 0;
#else
    (void)list_path;
#endif
    for (const batch_pair &p : pairs) {
        if (!p.error.empty()) continue;
        for (int i = 0; i < 2; ++i) {
            inputs.emplace(p.fields[i], p.line);
#if !defined(_WIN32)
            if (identify(p.fields[i], &id)) input_files.emplace(id, p.line);
#endif
        }
    }
    std::map<std::string, long> outputs;
    for (batch_pair &p : pairs) {
        if (!p.error.empty() || p.fields.size() < 3) continue;
        const std::string &out = p.fields[2];
        long other = -1;
        auto in = inputs.find(out);
        if (in != inputs.end()) other = in->second;
#if !defined(_WIN32)
        if (other < 0 && identify(out, &id)) {
            auto f = input_files.find(id);
            if (f != input_files.end()) other = f->second;
        }
#endif
        if (other == 0) {
            p.error = "diff output '" + out + "' is the list being read; not written";
        } else if (other > 0) {
            p.error = "diff output '" + out + "' is also read by this batch (line " + std::to_string(other) +
                      "); not written";
        } else {
            auto earlier = outputs.emplace(out, p.line);
            if (!earlier.second)
                p.error = "diff output '" + out + "' is also written by line " + std::to_string(earlier.first->second) +
                          "; not written";
        }
    }
}


struct batch_output {
    std::vector<std::string> lines;
    std::vector<char> done;
    size_t next = 0, finished = 0;
    bool progress = false;
    bool write_failed = false;

    void finish(size_t index, std::string text)
    {
        lines[index] = std::move(text);
        done[index] = 1;
        ++finished;
        while (next < lines.size() && done[next]) {
            if (std::fwrite(lines[next].data(), 1, lines[next].size(), stdout) != lines[next].size())
                write_failed = true;
            std::string().swap(lines[next]);
            ++next;
        }
        if (std::fflush(stdout) != 0) write_failed = true;
        if (progress) std::fprintf(stderr, "\rranvique: %zu/%zu pairs", finished, lines.size());
    }
};

#if !defined(_WIN32)
bool write_all(int fd, const std::string &s)
{
    size_t off = 0;
    while (off < s.size()) {
        ssize_t n = write(fd, s.data() + off, s.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

struct worker {
    pid_t pid;
    int fd;
    size_t index;
    std::string text;
};

// One worker process a pair, at most `jobs` at once. A worker that dies
// without answering (the library crashed on a file) fails its own pair only.
void run_pairs(const std::vector<batch_pair> &pairs, const gates &g, int jobs, batch_output &out, int *status)
{
    std::vector<worker> active;
    size_t next = 0;
    auto record = [&](size_t index, std::string text, int s) {
        if (s > *status) *status = s;
        out.finish(index, std::move(text));
    };
    while (next < pairs.size() || !active.empty()) {
        while (next < pairs.size() && static_cast<int>(active.size()) < jobs) {
            const size_t index = next++;
            if (!pairs[index].error.empty()) {
                int s = kPass;
                std::string text = evaluate_pair(pairs[index], g, &s);
                record(index, std::move(text), s);
                continue;
            }
            int fds[2];
            pid_t pid = -1;
            if (pipe(fds) == 0) {
                std::fflush(nullptr);
                pid = fork();
                if (pid < 0) {
                    close(fds[0]);
                    close(fds[1]);
                }
            }
            if (pid == 0) {
                close(fds[0]);
                for (const worker &w : active) close(w.fd);
                int s = kPass;
                std::string text = evaluate_pair(pairs[index], g, &s);
                _exit(write_all(fds[1], std::to_string(s) + text) ? 0 : 3);
            }
            if (pid < 0) {
                // No worker to be had: compare this pair here, after the
                // running ones, so that nothing else uses the library meanwhile.
                for (worker &w : active) {
                    char buf[4096];
                    ssize_t n;
                    while ((n = read(w.fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
                        if (n > 0) w.text.append(buf, static_cast<size_t>(n));
                }
                int s = kPass;
                std::string text = evaluate_pair(pairs[index], g, &s);
                record(index, std::move(text), s);
                continue;
            }
            close(fds[1]);
            active.push_back({pid, fds[0], index, std::string()});
        }
        if (active.empty()) continue;
        std::vector<struct pollfd> pfds;
        for (const worker &w : active) pfds.push_back({w.fd, POLLIN, 0});
        if (poll(pfds.data(), pfds.size(), -1) < 0 && errno != EINTR) break;
        for (size_t i = active.size(); i-- > 0;) {
            if (!(pfds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            worker &w = active[i];
            char buf[8192];
            ssize_t n = read(w.fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                w.text.append(buf, static_cast<size_t>(n));
                continue;
            }
            close(w.fd);
            int wstatus = 0;
            while (waitpid(w.pid, &wstatus, 0) < 0 && errno == EINTR) {
            }
            const batch_pair &p = pairs[w.index];
            if (WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0 && w.text.size() > 1 && w.text.back() == '\n') {
                record(w.index, w.text.substr(1), w.text[0] - '0');
            } else {
                batch_pair lost = p;
                lost.error = WIFSIGNALED(wstatus)
                                 ? "worker process ended by signal " + std::to_string(WTERMSIG(wstatus))
                                 : "worker process ended without an answer";
                int s = kPass;
                std::string text = evaluate_pair(lost, g, &s);
                record(w.index, std::move(text), s);
            }
            active.erase(active.begin() + static_cast<long>(i));
        }
    }
}

int default_jobs()
{
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1 : n > 256 ? 256 : static_cast<int>(n);
}
#else
// Windows: the pairs run one after another in this process.
void run_pairs(const std::vector<batch_pair> &pairs, const gates &g, int, batch_output &out, int *status)
{
    for (size_t i = 0; i < pairs.size(); ++i) {
        int s = kPass;
        std::string text = evaluate_pair(pairs[i], g, &s);
        if (s > *status) *status = s;
        out.finish(i, std::move(text));
    }
}
int default_jobs() { return 1; }
#endif

bool stderr_is_terminal()
{
#if !defined(_WIN32)
    return isatty(2) != 0;
#else
    return false;
#endif
}

int run_batch(const std::vector<std::string> &args, const gates &g, int jobs)
{
    if (args.size() > 1) throw usage_error{"batch takes at most one LIST"};
    std::vector<batch_pair> pairs;
    std::string list_path = args.empty() ? "-" : args[0];
    bool ok;
    if (list_path == "-") {
        ok = read_list(std::cin, pairs);
        list_path.clear();
    } else {
        std::ifstream in(list_path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "ranvique: cannot read the list '%s'\n", list_path.c_str());
            return kError;
        }
        ok = read_list(in, pairs);
    }
    if (!ok) {
        std::fprintf(stderr, "ranvique: cannot read the list\n");
        return kError;
    }
    refuse_conflicting_outputs(pairs, list_path);
    batch_output out;
    out.lines.resize(pairs.size());
    out.done.assign(pairs.size(), 0);
    out.progress = stderr_is_terminal() && !pairs.empty();
    int status = kPass;
    if (jobs <= 0) jobs = default_jobs();
    if (static_cast<size_t>(jobs) > pairs.size()) jobs = pairs.empty() ? 1 : static_cast<int>(pairs.size());
    run_pairs(pairs, g, jobs, out, &status);
    if (out.progress) std::fprintf(stderr, "\r\033[K");
    if (out.write_failed || out.next != pairs.size()) {
        std::fprintf(stderr, "ranvique: cannot write standard output\n");
        return kError;
    }
    return status;
}

// ---- one pair from the command line ----

int run_single(const std::string &command, const std::vector<std::string> &args, const gates &g)
{
    const size_t want = command == "diff" ? 3 : 2;
    if (args.size() != want)
        throw usage_error{command + " needs " + (want == 3 ? "3 paths (A B OUT)" : "2 paths (A B)") + ", given " +
                          std::to_string(args.size())};
    const char *a = args[0].c_str(), *b = args[1].c_str();
    pair_result r;
    std::string answer;
    if (command == "similarity") {
        if (run_similarity(a, b, r)) answer = format_score(r.similarity);
    } else if (command == "stats") {
        if (run_stats(a, b, r)) answer = r.stats;
    } else if (command == "perceptual") {
        if (run_perceptual(a, b, r)) answer = format_score(r.perceptual);
    } else {
        if (run_diff(a, b, args[2].c_str(), r)) answer = args[2];
    }
    if (!r.failed) apply_gates(a, b, g, r);
    if (r.failed) {
        std::fprintf(stderr, "ranvique: %s\n", r.error.c_str());
        return kError;
    }
    std::printf("%s\n", answer.c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ranvique: cannot write standard output\n");
        return kError;
    }
    for (const std::string &m : r.gate_messages) std::fprintf(stderr, "ranvique: gate failed: %s\n", m.c_str());
    return r.gate_failed ? kGateFailed : kPass;
}

int run(int argc, char **argv)
{
    std::vector<std::string> positional;
    gates g;
    int jobs = 0;
    bool jobs_set = false, only_paths = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (only_paths || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_paths = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            std::printf("%s\n%s", kUsage, kHelp);
            return kPass;
        }
        if (arg == "-V" || arg == "--version") {
            std::printf("ranvique %d.%d.%d\n", RANVIQUE_VERSION_MAJOR, RANVIQUE_VERSION_MINOR, RANVIQUE_VERSION_PATCH);
            return kPass;
        }
        std::string name = arg, value;
        bool inline_value = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inline_value = true;
        }
        if (name != "--min-similarity" && name != "--max-different-pixels" && name != "--min-perceptual" &&
            name != "--jobs" && name != "-j")
            throw usage_error{"unknown option '" + arg + "'"};
        if (!inline_value) {
            if (i + 1 >= argc) throw usage_error{name + " needs a value"};
            value = argv[++i];
        }
        if (name == "--min-similarity") {
            g.min_similarity = parse_percent(name, value);
            g.min_similarity_set = true;
        } else if (name == "--min-perceptual") {
            g.min_perceptual = parse_percent(name, value);
            g.min_perceptual_set = true;
        } else if (name == "--max-different-pixels") {
            g.max_different = parse_count(name, value, ~0ULL);
            g.max_different_set = true;
        } else {
            jobs = static_cast<int>(parse_count(name, value, 256));
            if (jobs < 1) throw usage_error{name + " needs a whole number from 1 to 256, not '" + value + "'"};
            jobs_set = true;
        }
    }
    if (positional.empty()) throw usage_error{"no command given"};
    const std::string command = positional[0];
    positional.erase(positional.begin());
    if (command == "batch") return run_batch(positional, g, jobs);
    if (command != "similarity" && command != "stats" && command != "perceptual" && command != "diff")
        throw usage_error{"unknown command '" + command + "'"};
    if (jobs_set) throw usage_error{"--jobs is for batch only"};
    return run_single(command, positional, g);
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const usage_error &e) {
        std::fprintf(stderr, "ranvique: %s\n%s(ranvique --help tells more)\n", e.message.c_str(), kUsage);
        return kError;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "ranvique: %s\n", e.what());
        return kError;
    }
}
