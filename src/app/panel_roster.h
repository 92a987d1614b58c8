#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace dova {

class TDovaPanel;

// Where a tile stands in its life with the main window.
enum class TPanelStage {
  None,     // not one of ours (freed, or never made here)
  Unnamed,  // attached, the incubator has not told its name yet
  Adding,   // named, being given its data folder and logging interval
  Listed,   // in the strip
  Closing,  // its link ended; the close timer frees it
};

// The tiles the main window owns: one entry per tile with its stage and how many calls of the
// main window are inside it right now (a tile in use is not freed). Lists of a stage come in
// the order the tiles entered it.
class TPanelRoster {
 public:
  TPanelRoster() = default;
  ~TPanelRoster();
  TPanelRoster(const TPanelRoster&) = delete;
  TPanelRoster& operator=(const TPanelRoster&) = delete;

  // Takes the tile as Unnamed.
  TDovaPanel& Adopt(std::unique_ptr<TDovaPanel> panel);
  TPanelStage StageOf(const TDovaPanel* panel) const;
  bool Is(const TDovaPanel* panel, TPanelStage stage) const { return StageOf(panel) == stage; }
  // Moves one of our tiles to another stage (to the end of its list).
  void Move(const TDovaPanel* panel, TPanelStage stage);
  std::vector<TDovaPanel*> InStage(TPanelStage stage) const;
  // Every tile, in the order they were made.
  std::vector<TDovaPanel*> All() const;
  bool NameTaken(const QString& name) const;

  // Marks the tile as in use while the main window calls into it: a modal box inside that
  // call lets the close timer run, and the timer must not free the tile under our feet.
  class TUse {
   public:
    TUse(TPanelRoster& roster, const TDovaPanel* panel);
    ~TUse();
    TUse(const TUse&) = delete;
    TUse& operator=(const TUse&) = delete;

   private:
    TPanelRoster& roster_;
    const TDovaPanel* panel_;
  };
  bool InUse(const TDovaPanel* panel) const;

  // Destroys the tile.
  void Free(const TDovaPanel* panel);
  // Destroys every tile.
  void Clear();

 private:
  struct TEntry {
    std::unique_ptr<TDovaPanel> Panel;
    TPanelStage Stage = TPanelStage::Unnamed;
    std::uint64_t Made = 0;
    std::uint64_t Since = 0;  // when it entered its stage
    int Uses = 0;
  };
  std::vector<TDovaPanel*> Ordered(TPanelStage stage, bool by_stage) const;

  std::map<const TDovaPanel*, TEntry> entries_;
  std::uint64_t clock_ = 0;
};

}  // namespace dova
