// The fixed-disk search through the finder dialog's real progress hook against a bare
// FindFirstFileA walk of the same tree, in one run, and where the hook's time goes.
//
//   perf_search.exe ROOT [ROUNDS]      (ROOT as the sweep passes it, e.g. D:\)
//
// Every variant walks the whole tree (it holds no marker). Variants, each timed ROUNDS times
// (default 3) in turn, best and median printed:
//   bare        FindFirstFileA/FindNextFileA recursion, the same paths, nothing else
//   no hook     SearchFolder with a hook that does nothing
//   caption     the hook sets Label6's caption only
//   +repaint    ... and repaints the dialog (UpdateWindow)
//   real        TForm3::ShowSearchProgress: caption, repaint, pass over waiting messages
//   throttled   prototypes: the same three steps at most once per 16 ms, either also at once
//               when input is waiting (GetQueueStatus) or on the clock alone; the label always
//               ends showing the last folder
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "location/search.h"
#include "location/win32/backends.h"
#include "ui/win32/application.h"
#include "windows/win32/Unit3.h"

namespace {

using Clock = std::chrono::steady_clock;

long g_folders = 0;

void BareWalk(const std::string& folder) {
  ++g_folders;
  WIN32_FIND_DATAA entry;
  HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &entry);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) BareWalk(path);
  } while (FindNextFileA(h, &entry));
  FindClose(h);
}

ShownText g_pending;
DWORD g_lastPaint = 0;

void ShowNow() {
  Form3->Label6->SetCaption(g_pending);
  UpdateWindow(Form3->Handle());
  Application->ProcessMessages();
  g_lastPaint = GetTickCount();
}

void ThrottledProgress(const std::string& folder) {
  g_pending = OwnText("検索中 ") + SystemText(folder);
  if (GetTickCount() - g_lastPaint < 16 && !(GetQueueStatus(QS_INPUT) & QS_INPUT)) return;
  ShowNow();
}

// The same on the clock alone: waiting input is handled at the next 16 ms mark.
void ClockThrottledProgress(const std::string& folder) {
  g_pending = OwnText("検索中 ") + SystemText(folder);
  if (GetTickCount() - g_lastPaint < 16) return;
  ShowNow();
}

struct Variant {
  Variant(const char* n, std::function<void(const std::string&)> h, bool t = false)
      : name(n), hook(std::move(h)), throttled(t) {}
  const char* name;
  std::function<void(const std::string&)> hook;  // empty: the bare walk
  bool throttled = false;
  std::vector<double> seconds;
  long folders = 0;
  std::string labelAtEnd;  // whether the label showed the last folder when the walk ended
};

}  // namespace

int main(int argc, char** argv) {
  UseWin32LocationBackends();
  if (argc < 2) {
    std::fprintf(stderr, "usage: perf_search ROOT [ROUNDS]\n");
    return 2;
  }
  const std::string root = argv[1];
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  Application->Initialize();
  Application->CreateForm(Form3);
  Form3->Show();
  Application->ProcessMessages();

  std::vector<Variant> variants = {
      {"bare FindFirstFileA walk", nullptr},
      {"search, no hook", [](const std::string&) {}},
      {"search, caption only", [](const std::string& f) { Form3->Label6->SetCaption(OwnText("検索中 ") + SystemText(f)); }},
      {"search, caption+repaint",
       [](const std::string& f) {
         Form3->Label6->SetCaption(OwnText("検索中 ") + SystemText(f));
         UpdateWindow(Form3->Handle());
       }},
      {"search, real hook", [](const std::string& f) { Form3->ShowSearchProgress(f); }},
      {"search, throttled+input", ThrottledProgress, true},
      {"search, throttled 16 ms", ClockThrottledProgress, true},
  };

  for (int round = 0; round < rounds; ++round) {
    for (Variant& v : variants) {
      long calls = 0;
      std::string lastFolder;
      auto start = Clock::now();
      if (!v.hook) {
        g_folders = 0;
        BareWalk(root);
        calls = g_folders;
      } else {
        SetSearchProgressHook([&](const std::string& f) {
          ++calls;
          lastFolder = f;
          v.hook(f);
        });
        StopSearch = false;
        FoundDir.clear();
        SearchFolder(root);
        if (v.throttled) ShowNow();  // the last folder is always shown
      }
      v.seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      if (v.hook && std::string(v.name) != "search, no hook") v.labelAtEnd = Form3->Label6->Caption().Bytes() == "検索中 " + lastFolder ? "yes" : "no";
      v.folders = calls;
      if (!FoundDir.empty()) {
        std::fprintf(stderr, "the tree must hold no marker\n");
        return 2;
      }
    }
  }

  std::printf("tree %s: %ld folders; %d rounds\n", root.c_str(), variants[0].folders, rounds);
  std::printf("%-26s %8s %10s %10s %12s %8s %8s %s\n", "variant", "folders", "best s", "median s", "us/folder", "ratio",
              "best/best", "last folder shown");
  double bare = 0, bareBest = 0;
  for (Variant& v : variants) {
    std::sort(v.seconds.begin(), v.seconds.end());
    const double best = v.seconds.front(), median = v.seconds[v.seconds.size() / 2];
    if (!bare) {
      bare = median;
      bareBest = best;
    }
    std::printf("%-26s %8ld %10.3f %10.3f %12.1f %8.2f %8.2f %s\n", v.name, v.folders, best, median,
                median * 1e6 / v.folders, median / bare, best / bareBest, v.labelAtEnd.c_str());
  }
  std::printf("ratio: median time over the bare walk's median; best/best: the same for the best times\n");
  return 0;
}
