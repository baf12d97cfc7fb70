#include <QCoreApplication>

#include "app/MainForm.h"

// One line per paragraph: the memo wraps them to its width.
QString AboutText() {
  const char* const context = "AboutText";
  const char* const parts[] = {
      QT_TRANSLATE_NOOP("AboutText", "Quorvane 2.1 - a maker of .torrent files"),
      QT_TRANSLATE_NOOP("AboutText",
                        "Contents\n"
                        "  1. Introduction\n"
                        "  2. Simple mode\n"
                        "  3. Classic mode\n"
                        "  4. Trackers, comment and piece size\n"
                        "  5. Format: v1, v2 or hybrid\n"
                        "  6. Source and private torrents\n"
                        "  7. Viewing and editing a torrent\n"
                        "  8. Verifying data and magnet links\n"
                        "  9. Credits"),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "1. Introduction\n"
          "Quorvane makes BitTorrent metainfo files (.torrent files) from the files and folders "
          "you choose, and lets you view and edit existing ones. It runs on Linux desktops. A "
          ".torrent file names a tracker, lists the files to share and holds a SHA-1 hash of "
          "every piece of their data; give it to the people who are to download your files, and "
          "seed the files with your BitTorrent client."),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "2. Simple mode\n"
          "On the \"Create Torrent\" page, choose the \"Simple\" tab. Pick the drive, then the "
          "folder (double-click a folder to enter it), then the files in the list on the right. "
          "Hold down CTRL to select several files, or SHIFT for a range; the All, None and "
          "Inverse buttons select every file, no file, or swap the selection. One file gives a "
          "single-file torrent; several files give one torrent named after their folder. You can "
          "also drop files on the page."),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "3. Classic mode\n"
          "The \"Classic\" tab takes one path, typed or chosen with the (dir) and (file) buttons. "
          "A file gives a single-file torrent. A folder gives either one torrent of the whole "
          "folder with everything below it, or one torrent for each file and folder in it, "
          "written to a folder you choose. This is how the 1.x releases worked, kept for those "
          "who are used to it."),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "4. Trackers, comment and piece size\n"
          "Choose a tracker from the list, which the program downloads shortly after it starts, "
          "or type an announce URL. Your own private trackers are kept on the \"Settings\" page. "
          "Back-up trackers are tried by clients when the main tracker fails. The comment is "
          "stored in the torrent as you type it. Leave the piece size on \"Auto\" unless you "
          "have a reason: it grows with the size of the data. Press \"Create .torrent now!\", "
          "choose where to save, and watch the progress window; \"Abort\" stops the run without "
          "writing anything."),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "5. Format: v1, v2 or hybrid\n"
          "\"v1\" torrents hash every piece with SHA-1 and are read by every client and tracker. \"v2\" "
          "torrents hash each file on its own with SHA-256, so the same file has the same hash in every "
          "torrent; only newer clients read them. \"Hybrid\" carries both, so old and new clients share "
          "the same swarm; it is a little larger. When in doubt, choose v1 or Hybrid."),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "6. Source and private torrents\n"
          "The source is a short tag written into the torrent's info, as some private trackers ask for "
          "(their rules name it); it changes the info hash, so the same files give a torrent of their own "
          "on each tracker. \"Private torrent\" tells clients to find peers only through the torrent's "
          "trackers: no DHT, no peer exchange. Use it only when a tracker asks for it. A torrent without "
          "any tracker is not broken: clients find its peers through DHT, peer exchange or web seeds."),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "7. Viewing and editing a torrent\n"
          "The \"View/Edit Torrent\" page opens a .torrent file (type its path, press \"...\", or drop it "
          "on the window) and shows its tracker, back-up trackers, name, comment, info hashes, creation "
          "date, source, private flag, web seeds and files. Change what you need and press \"Save\", or "
          "\"Save As ..\" for a new file. Changing the name, the files, the source or the private flag "
          "changes the info hash: the program asks before it saves such a change, as peers of the old "
          "torrent will not find the new one. Right-click an info hash to copy it."),
      QT_TRANSLATE_NOOP(
          "AboutText",
          "8. Verifying data and magnet links\n"
          "\"Verify data...\" checks files on disk against the loaded torrent: choose the folder that holds "
          "them, and the program reports missing files, files of the wrong size and damaged pieces. "
          "\"Copy magnet link\" puts a magnet link of the torrent, as it would be saved now, on the "
          "clipboard; clients that know DHT can fetch the torrent from it without the file."),
      QT_TRANSLATE_NOOP("AboutText",
                        "9. Credits\n"
                        "Written by the Quorvane developers. SHA-1, bencoding and the HTTP client are the "
                        "program's own; the windows are drawn with Qt. Thanks to everyone who sent tracker "
                        "entries, bug reports and ideas."),
  };
  QStringList paragraphs;
  for (const char* part : parts) paragraphs << QCoreApplication::translate(context, part);
  return paragraphs.join(QStringLiteral("\n\n")) + u'\n';
}
