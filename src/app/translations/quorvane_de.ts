<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutText</name>
    <message>
        <source>Quorvane 2.0 - a maker of .torrent files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Contents
  1. Introduction
  2. Simple mode
  3. Classic mode
  4. Trackers, comment and piece size
  5. Credits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1. Introduction
Quorvane makes BitTorrent metainfo files (.torrent files) from the files and folders you choose, and lets you view and edit existing ones. It runs on Linux desktops. A .torrent file names a tracker, lists the files to share and holds a SHA-1 hash of every piece of their data; give it to the people who are to download your files, and seed the files with your BitTorrent client.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2. Simple mode
On the &quot;Create Torrent&quot; page, choose the &quot;Simple&quot; tab. Pick the drive, then the folder (double-click a folder to enter it), then the files in the list on the right. Hold down CTRL to select several files, or SHIFT for a range; the All, None and Inverse buttons select every file, no file, or swap the selection. One file gives a single-file torrent; several files give one torrent named after their folder. You can also drop files on the page.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3. Classic mode
The &quot;Classic&quot; tab takes one path, typed or chosen with the (dir) and (file) buttons. A file gives a single-file torrent. A folder gives either one torrent of the whole folder with everything below it, or one torrent for each file and folder in it, written to a folder you choose. This is how the 1.x releases worked, kept for those who are used to it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>4. Trackers, comment and piece size
Choose a tracker from the list, which the program downloads shortly after it starts, or type an announce URL. Your own private trackers are kept on the &quot;Settings&quot; page. Back-up trackers are tried by clients when the main tracker fails. The comment is stored in the torrent as you type it. Leave the piece size on &quot;Auto&quot; unless you have a reason: it grows with the size of the data. Press &quot;Create .torrent now!&quot;, choose where to save, and watch the progress window; &quot;Abort&quot; stops the run without writing anything.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>5. Credits
Written by the Quorvane developers. SHA-1, bencoding and the HTTP client are the program&apos;s own; the windows are drawn with Qt. Thanks to everyone who sent tracker entries, bug reports and ideas.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Question</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version Check</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You must select a tracker to use with this torrent!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tracker may be down; are you sure you want to continue?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No files were selected!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please enter a file or directory name!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Operation Aborted!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There was an error updating the tracker list, information may not be current!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No cached version of the tracker list could be found; you&apos;re on your own</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A new version of Quorvane is afvailable! Update now?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attempting to update tracker list...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tracker list loaded!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status: UP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status: *DOWN*</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status: N/A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please enter tracker name!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please enter tracker announce URL!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No torrent loaded!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error Loading!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modify</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a directory to hash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter directory to output torrents in:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TDriveComboBox</name>
    <message>
        <source>Drive</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TViewEditPage</name>
    <message>
        <source>Creation Date: %1 (Unix time)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Creation Date: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Torrent:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Announce URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Na&amp;me:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Comment:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SHA1:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Creation Date:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Files </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;hange</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nam&amp;e:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sa&amp;ve As ..</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a .torrent file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save with back-up trackers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files in the torrent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Info hash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Creation Date: N/A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading Torrent! This may take a while...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading complete!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading error!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SHA1: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot rename to </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error writing </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 written sucessfully!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This torrent is damaged: it was not read whole, and saving writes only what could be read. What these lines name would be lost:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save anyway?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot save </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TfrmBackup</name>
    <message>
        <source>Back-up Tracker Selection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back-up trackers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tracker to add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Add:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Remove Selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Up</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>D&amp;n</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note: multi-tracker support is preliminary, and only a few BitTorrent clients understand it yet. Trackers from above will be tried in the order they are listed if the main tracker fails.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TfrmProgress</name>
    <message>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hashing:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Overall Progress:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Abort</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Finished</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Overall progress</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TfrmQuorvane</name>
    <message>
        <source>Quorvane v2.1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create Torrent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>View/Edit Torrent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help/About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Simple</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Classic</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Inverse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tip: Hold down CTRL to select multiple files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(&amp;dir)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(&amp;file)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 torrent from entire f&amp;older</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 torrent for &amp;each file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File&amp;name or Pathname:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select the tracker that will host your file, or enter a URL manually</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Visit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Visit the homepage of the selected tracker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use &amp;Backup Tracker(s)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Tracker:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A&amp;uto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatically Determine Piece Size (recommended)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cu&amp;stom:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use a user-specified piece size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;reate .torrent now!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create .torrent metadata file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Comment:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Piece Size:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Startup Mode </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Simple</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>C&amp;lassic</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remember last used &amp;folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remember last used &amp;tracker</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do NOT &amp;update tracker list on startup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto-sa&amp;ve Settings on close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Always skip thu&amp;mbs.db</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Private Trackers </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Na&amp;me:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A&amp;nnounce URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Website URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save N&amp;ow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Homepage</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Creation mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use back-up trackers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Custom piece size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Private trackers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open %1: no such file</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
