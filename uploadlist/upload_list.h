// The upload list of one upload control: entries, limits, totals, the
// admission checks and the ways files enter the list. Everything here runs on
// the page's user-interface thread; the list window, the shell and the page's
// script are reached through the small interfaces below so that the list
// works the same with or without the control's window.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/file_system.h"
#include "common/message_box.h"
#include "uploadlist/admission_rules.h"
#include "uploadlist/list_settings.h"
#include "uploadlist/upload_entries.h"
#include "uploadlist/upload_entry.h"

namespace parvex {

// What the shell says about a local file (icon, type name, dimmed display).
struct ShellFileInfo {
    int iconIndex = 0;       // index in the shared small system image list
    std::wstring typeName;   // e.g. the shell's name for text documents
    bool ghosted = false;    // hidden files and the like: row shown cut
};

// Contents of one list row (columns 0 to 2). Column 0 always shows image 202
// and the check box; column 3 is set separately once the entry exists.
struct UploadRow {
    std::wstring fileName;   // column 1 text
    std::wstring sizeText;   // column 2 text (FormatSize)
    int iconIndex = 0;       // column 1 image; kOnServerImage for server files
    bool cut = false;        // LVIS_CUT
};

// Image of the shared small list shown in column 0 and for server files.
constexpr int kOnServerImage = 202;

// Bitmaps drawn into column 3 when the display is two-kind.
enum KindBitmap : int {
    BitmapNone = 0,
    BitmapBigFixed = 215,      // big, cannot switch
    BitmapBigSwitch = 218,     // big, can switch
    BitmapGeneralSwitch = 219, // general, can switch
    BitmapServerFixed = 220,   // already on the server
};

// The rows of the list view. The Windows list window implements it on its
// list control; MemoryUploadRows stands in while no window exists.
class UploadRows {
public:
    virtual ~UploadRows() = default;
    virtual void InsertRow(int row, const UploadRow& content) = 0;
    virtual void SetColumn3Text(int row, const std::wstring& text) = 0;
    virtual void DeleteAllRows() = 0;
    virtual int RowCount() = 0;
    virtual bool IsRowChecked(int row) = 0;
    virtual void SetRowChecked(int row, bool checked) = 0;
    // Redraws rows first..last and updates the window at once.
    virtual void RedrawRows(int first, int last) = 0;
    virtual void ScrollIntoView(int row) = 0;
    virtual void ShowEmptyHint() = 0;   // hint image, offsets 50 % / 50 %
    virtual void RemoveEmptyHint() = 0;
    // Header item 0: image 1 (ticked) or image 0 (empty box).
    virtual void SetHeaderChecked(bool checked) = 0;
    // Column 3 heading "첨부형식[전환]" and the two-kind column widths.
    virtual void ShowTwoKindHeading() = 0;
    // SHGetFileInfoW with SHGFI_SYSICONINDEX | SHGFI_TYPENAME |
    // SHGFI_ATTRIBUTES; the portable default knows nothing about the file.
    virtual ShellFileInfo QueryFileInfo(const std::wstring& /*path*/) { return {}; }
    // An adding route begins and ends (they nest): in between the view may
    // draw the new rows now and then instead of at every row, and at once on
    // ShowAdded (before a box covers the list).
    virtual void BeginAdding() {}
    virtual void ShowAdded() {}
    virtual void EndAdding() {}
};

// Rows kept in memory with their check states: the row count follows the
// entries while the control has no window.
class MemoryUploadRows : public UploadRows {
public:
    struct Row {
        UploadRow content;
        std::wstring column3;
        bool checked = false;
    };
    std::vector<Row> rows;
    bool hintShown = false;
    bool headerChecked = false;
    bool twoKindHeading = false;
    int redraws = 0;

    void InsertRow(int row, const UploadRow& content) override;
    void SetColumn3Text(int row, const std::wstring& text) override;
    void DeleteAllRows() override { rows.clear(); }
    int RowCount() override { return static_cast<int>(rows.size()); }
    bool IsRowChecked(int row) override;
    void SetRowChecked(int row, bool checked) override;
    void RedrawRows(int, int) override { ++redraws; }
    void ScrollIntoView(int) override {}
    void ShowEmptyHint() override { hintShown = true; }
    void RemoveEmptyHint() override { hintShown = false; }
    void SetHeaderChecked(bool checked) override { headerChecked = checked; }
    void ShowTwoKindHeading() override { twoKindHeading = true; }
};

// Calls a named global function of the hosting page without arguments
// ("UpdateSize"); must return quietly when there is no page.
class PageNotifier {
public:
    virtual ~PageNotifier() = default;
    virtual void InvokePageFunction(const std::wstring& name) = 0;
};

// Results of AddLocalFile.
enum class AddLocalResult {
    Added,
    RefusedByBudget,  // budget message shown; the route stops
    RefusedBySize,    // line "[파일크기제한]"
    FileVanished,     // gone since it was chosen; skipped silently
};

// What AdmitByBudget gives a file: its kind, or the budgets' refusal.
enum class Admission { General, Big, Refused };

// The platform pieces the list needs, all owned by the caller and living at
// least as long as the list.
struct UploadListHost {
    MessageBoxHost* messages = nullptr;        // none: nothing is shown
    FileSystem* files = nullptr;               // LocalFileSystem() when null
    // Use type and the choosers' folder; none: ProcessListSettings without
    // a store (the folder is not kept across restarts).
    ListSettings* settings = nullptr;
    PageNotifier* page = nullptr;              // none: nobody is told
    // Unique name of a new local entry from its row index; MakeUniqueName
    // when empty.
    std::function<std::wstring(int)> uniqueName;
};

// True while an upload list of this thread is calling its page ("UpdateSize"
// after an admission or a switch of kind). The page may call the control
// back meanwhile; its calls that would change a list or the settings must do
// nothing until the page has returned.
bool CallingPage();

class UploadListModel {
public:
    explicit UploadListModel(const UploadListHost& host);
    ~UploadListModel();
    UploadListModel(const UploadListModel&) = delete;
    UploadListModel& operator=(const UploadListModel&) = delete;

    // --- rows -------------------------------------------------------------
    // The window's rows take over (rebuilt from the entries, check states
    // carried over); null goes back to the in-memory rows. Call it while the
    // rows being left still exist: their check states are read first.
    void AttachRows(UploadRows* rows);
    UploadRows& Rows();
    int RowCount() { return Rows().RowCount(); }

    // List window initialisation: remembered folder read, kind totals and
    // the rejection summary reset, checkAll cleared.
    void InitWindow();

    // --- limits (setters take megabytes, store bytes) ---------------------
    void SetLimitUploadCount(int count) { rules_.limits.uploadCount = count; }
    void SetLimitUploadSize(double megabytes) { rules_.limits.uploadSize = megabytes * 1048576.0; }
    void SetLimitUploadBigSize(double megabytes) { rules_.limits.bigSize = megabytes * 1048576.0; }
    void SetLimitGeneralSize(double megabytes) { rules_.limits.generalSize = megabytes * 1048576.0; }
    void SetLimitFileSize(double megabytes) { rules_.limits.fileSize = megabytes * 1048576.0; }
    // Process-wide use type; 1 also switches this list's heading.
    void SetUseType(int type);
    // Appends the ";"-separated tokens of filterText to the filter.
    void UploadExtFilter(const std::wstring& filterText) { rules_.AddFilter(filterText); }

    // --- read-only views ------------------------------------------------------
    // The entries in row order; changed only by the operations below.
    const std::list<UploadEntry>& Entries() const { return entries_.All(); }
    const UploadTotals& Totals() const { return totals_; }
    const UploadLimits& Limits() const { return rules_.limits; }
    const std::list<FilterToken>& Filter() const { return rules_.Filter(); }
    // Rows the list had when it last brought itself up to date.
    int ListCount() const { return listCount_; }
    // The header's check box of this list: each control its own, so that a
    // tick on one page's list never stands for the rows of another.
    bool CheckAll() const { return checkAll_; }
    const std::wstring& RejectSummary() const { return rejectSummary_; }
    bool RejectFlag() const { return rejectFlag_; }
    bool WalkStopped() const { return walkStopped_; }

    int TotalUploadCount() const { return entries_.Count(); }
    double GetTotalUpSize() const { return totals_.all; }
    double GetSmallTotalSize() const { return totals_.general; }
    double GetBigTotalSize() const { return totals_.big; }
    // "%s/%s/%d" (fileName, uniqueName, kind) per entry, joined by "|:|".
    std::wstring GetUpFileInfo() const;
    // The diagnostic text ("No Item" when empty) and its message box.
    std::wstring LinkListText() const;
    void TestLinkListValue();

    // --- admission pieces ---------------------------------------------------
    // The kind the budgets give a file, or Refused after the budget message.
    Admission AdmitByBudget(double size);
    bool IsFilteredPath(const std::wstring& path) const { return rules_.IsFiltered(path); }

    // --- entries ------------------------------------------------------------
    // An entry appended as it is: counted in no total, shown in no row.
    void AppendLocalEntry(const std::wstring& localPath, const std::wstring& fileName,
                          uint32_t size, int row, int kind);

    // --- adding routes (the dialogs stay with the window) -------------------
    // The file dialog's chosen paths, in the dialog's order.
    void AddChosenFiles(const std::vector<std::wstring>& paths);
    AddLocalResult AddLocalFile(const std::wstring& path);
    // The folder browser's chosen folder.
    void AddChosenFolder(const std::wstring& folder);
    // Dropped files and folders; false when a path of fewer than 4
    // characters ended the drop early.
    bool AddDroppedItems(const std::vector<std::wstring>& paths);
    void AttachFileFromMail(const std::wstring& fileName, const std::wstring& uniqueName,
                            double fileSize);

    // --- changes --------------------------------------------------------------
    void DeleteFile();
    void ClearUploadList();
    // Destruction of the control: entries gone, totals and listCount 0. The
    // rows of an attached window are left to the window.
    void Empty();

    // --- list window events ----------------------------------------------------
    // Click on the heading of column 0: toggles checkAll and every row.
    void OnHeaderCheckClick();
    // Click on a row's column 0 (check box) or column 3 (kind switch).
    void OnRowClick(int row, int column);
    // Bitmap of column 3 for a row in two-kind display; BitmapNone without
    // an entry.
    int KindBitmapForRow(int row);

private:
    // The checks of the adding routes; each route runs them in its own order
    // and the first that does not pass decides.
    enum class Check { Exists, OpensUnshared, Filter, PathLength, Duplicate, Count, FileSize, Budget };
    enum class Verdict {
        Pass,
        Skip,    // left out without a line
        Reject,  // left out with the line tag
        Stop,    // count or budget message shown; the route ends its loop
    };
    // A file an adding route considers; the checks fill in what they learn.
    struct Candidate {
        explicit Candidate(std::wstring p) : path(std::move(p)) {}
        // A file whose listing said what it is.
        Candidate(std::wstring p, PathInfo listed) : path(std::move(p)), found(listed), looked(true) {}
        std::wstring path;
        PathInfo found;       // what the one look-up of path found
        bool looked = false;  // found is known (the walk has it from its listing)
        std::wstring fileKey;  // FileKey(path) once asked for
        EntryKind kind = KindGeneral;
        uint64_t Size() const { return found.size; }
        const wchar_t* tag = nullptr;  // the summary line's tag on Reject
        Verdict Refuse(const wchar_t* lineTag) {
            tag = lineTag;
            return Verdict::Reject;
        }
    };
    Verdict Apply(Check check, Candidate& c);
    Verdict FirstRefusal(std::initializer_list<Check> order, Candidate& c);
    // FirstRefusal, with the summary line added on Reject.
    Verdict Screen(std::initializer_list<Check> order, Candidate& c);
    // The candidate's path looked up, once whatever asks.
    const PathInfo& LookUp(Candidate& c);
    // What the duplicate check knows a local file by: its identity, or its
    // path where the system gives none. Asked once per candidate.
    std::wstring FileKey(const std::wstring& path) const;
    const std::wstring& KeyOf(Candidate& c);
    // Admits a candidate that passed every check at NextRow(): row, totals,
    // entry, column 3.
    void AdmitLocalFile(Candidate& c, const std::wstring& fileName);
    void AppendKnownFile(const std::wstring& fileKey, const std::wstring& localPath, const std::wstring& fileName,
                         uint32_t size, int row, int kind, double counted);
    Verdict OpensUnshared(Candidate& c);
    Verdict SizeAllowed(Candidate& c);
    Verdict BudgetAllows(Candidate& c);
    void ShowCountMessage();
    // AddLocalFile for a candidate that passed the file dialog's checks.
    AddLocalResult AddScreenedFile(Candidate& c);
    // A screened file enters at the end of the list and the page is told.
    void AdmitScreened(Candidate& c, const std::wstring& fileName);
    // A chosen or dropped folder walked, its files added at the end.
    void WalkTopFolder(const std::wstring& folder);
    void WalkFolder(const std::wstring& folder, const std::wstring& relName);
    void ShowNotFoundPath();
    // The row a new entry takes: the end of the list as it is now. Taken
    // afresh for every admission, since the page may have changed the list
    // since the last one.
    int NextRow() const { return TotalUploadCount(); }
    bool TwoKinds() const { return settings_->UseType() == 1; }

    void AddRejectLine(const std::wstring& path, const std::wstring& tag);
    void ResetRejectSummary();
    // Shows the summary box when a line was added, then resets it.
    void ShowRejectSummary();

    void SwitchEntryKind(int row);
    MessageBoxHost& Messages();
    void ShowBudgetMessage(const wchar_t* format, double limit);
    void RebuildRows();
    bool AllRowsChecked();
    // Header box empty, checkAll clear.
    void ClearHeaderCheck();
    // A new row is unticked, so not every row is: the header box clears.
    void RowAddedUnticked();
    UploadRow RowFor(const UploadEntry& entry, bool rebuilt, ShellFileInfo* info);
    // The last row in view and the hint gone once rows exist.
    void AfterAdding();
    // One adding route's span of the rows' BeginAdding and EndAdding.
    class AddingRows {
    public:
        explicit AddingRows(UploadRows& rows) : rows_(rows) { rows_.BeginAdding(); }
        ~AddingRows() { rows_.EndAdding(); }
        AddingRows(const AddingRows&) = delete;
        AddingRows& operator=(const AddingRows&) = delete;

    private:
        UploadRows& rows_;
    };
    void Count(int kind, double size);
    void ZeroTotals();
    std::wstring NewUniqueName(int row);
    void Notify();

    UploadListHost host_;
    FileSystem& files_;
    ProcessListSettings storeless_;  // when the host gave no settings
    ListSettings* settings_;
    AdmissionRules rules_;
    UploadEntries entries_;
    UploadTotals totals_;
    int listCount_ = 0;
    std::wstring rejectSummary_;
    bool rejectFlag_ = false;
    bool walkStopped_ = false;
    bool checkAll_ = false;
    MemoryUploadRows memoryRows_;
    UploadRows* rows_;
};

// Texts and captions the list shows.
extern const wchar_t* const kRejectSummaryHeading;  // "[업로드 제한된 파일]\r\n\r\n"
extern const wchar_t* const kTagFileInUse;          // "[파일사용중]"
extern const wchar_t* const kTagFiltered;           // "[필터링]"
extern const wchar_t* const kTagPathLength;         // "[파일길이제한]"
extern const wchar_t* const kTagFileSize;           // "[파일크기제한]"

}  // namespace parvex
