-- The store of Tessary: server profiles, folder jobs and per-file state.
-- Keys count up from 1 and are never reused.
CREATE TABLE mySettings (
  SettingsID   INTEGER PRIMARY KEY AUTOINCREMENT,
  FTPServer    TEXT,
  FTPPort      TEXT,
  FTPUser      TEXT,
  FTPPassword  TEXT,
  FTPDirectory TEXT,
  FTPNotes     TEXT,
  FTPConnections TEXT  -- uploads at once, 1 to 8; anything else is 4
);

CREATE TABLE Tessary (
  SyncID     INTEGER PRIMARY KEY AUTOINCREMENT,
  Folder     TEXT,
  SettingsID INTEGER,
  SubDirs    TEXT
);

CREATE TABLE myFiles (
  FileID   INTEGER PRIMARY KEY AUTOINCREMENT,
  FullPath TEXT,
  Folder   TEXT,
  FileName TEXT,
  FileDate TEXT,
  FileHash TEXT,
  SyncID   INTEGER
);

CREATE INDEX myFiles_FullPath ON myFiles(FullPath);
CREATE INDEX myFiles_SyncID ON myFiles(SyncID);

-- Jobs whose last run was cut off while uploads were under way: their next
-- run clears the temporary copies such a run may have left on the server.
CREATE TABLE myUnfinished (
  SyncID INTEGER PRIMARY KEY
);
