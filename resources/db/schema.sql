-- The program's database: model names, parameter definitions and the
-- user's parameter groups. Built into DATA.sqlite by halvex-dbgen from this
-- file and the numbered content files, in name order.
--
-- Text comparisons on product models and group names ignore letter case, as
-- the older database engine the stored statements were written for did.

CREATE TABLE Model_Mapping (
    Model_From_Product TEXT    NOT NULL COLLATE NOCASE,  -- product model the drive reports (registers 116..122)
    IS_Varnel_Model    INTEGER NOT NULL CHECK (IS_Varnel_Model IN (0, 1)),
    Model_to_Display   TEXT    NOT NULL,
    PRIMARY KEY (Model_From_Product, IS_Varnel_Model)
);

-- One definition table per drive model ("ParametersTable_<model>") and the
-- base table, all with the same columns.
--   Address   register; for an INT row the low word, the high word sits at Address-1
--   DataType  SHORT, USHORT or INT
--   Scope     "min~max" in decimal
--   Visible   1: shown to an ordinary user, 0: administrator only; the drive
--             reports it as the register's attribute bit
--   PageNumberEn, UnitsEn, RemarkEn
--             the category label, unit and remark the English interface
--             shows (23_params_english.sql); the Chinese ones stay the keys
CREATE TABLE ParametersTable (
    Address      INTEGER NOT NULL PRIMARY KEY
                 CHECK (Address BETWEEN 0 AND 149 OR Address BETWEEN 30000 AND 31999),
    Name         TEXT    NOT NULL,
    PageNumber   TEXT    NOT NULL,
    DataType     TEXT    NOT NULL CHECK (DataType IN ('SHORT', 'USHORT', 'INT')),
    Scope        TEXT    NOT NULL,
    DefaultValue TEXT    NOT NULL,
    Units        TEXT    NOT NULL,
    Remark       TEXT    NOT NULL,
    Visible      INTEGER NOT NULL DEFAULT 1 CHECK (Visible IN (0, 1)),
    PageNumberEn TEXT    NOT NULL DEFAULT '',
    UnitsEn      TEXT    NOT NULL DEFAULT '',
    RemarkEn     TEXT    NOT NULL DEFAULT ''
);

CREATE TABLE ParametersTable_KRV4 (
    Address      INTEGER NOT NULL PRIMARY KEY
                 CHECK (Address BETWEEN 0 AND 149 OR Address BETWEEN 30000 AND 31999),
    Name         TEXT    NOT NULL,
    PageNumber   TEXT    NOT NULL,
    DataType     TEXT    NOT NULL CHECK (DataType IN ('SHORT', 'USHORT', 'INT')),
    Scope        TEXT    NOT NULL,
    DefaultValue TEXT    NOT NULL,
    Units        TEXT    NOT NULL,
    Remark       TEXT    NOT NULL,
    Visible      INTEGER NOT NULL DEFAULT 1 CHECK (Visible IN (0, 1)),
    PageNumberEn TEXT    NOT NULL DEFAULT '',
    UnitsEn      TEXT    NOT NULL DEFAULT '',
    RemarkEn     TEXT    NOT NULL DEFAULT ''
);

CREATE TABLE ParametersTable_KRV7 (
    Address      INTEGER NOT NULL PRIMARY KEY
                 CHECK (Address BETWEEN 0 AND 149 OR Address BETWEEN 30000 AND 31999),
    Name         TEXT    NOT NULL,
    PageNumber   TEXT    NOT NULL,
    DataType     TEXT    NOT NULL CHECK (DataType IN ('SHORT', 'USHORT', 'INT')),
    Scope        TEXT    NOT NULL,
    DefaultValue TEXT    NOT NULL,
    Units        TEXT    NOT NULL,
    Remark       TEXT    NOT NULL,
    Visible      INTEGER NOT NULL DEFAULT 1 CHECK (Visible IN (0, 1)),
    PageNumberEn TEXT    NOT NULL DEFAULT '',
    UnitsEn      TEXT    NOT NULL DEFAULT '',
    RemarkEn     TEXT    NOT NULL DEFAULT ''
);

-- The parameter list is read in PageNumber order; these keep the rows of a
-- category in address order.
CREATE INDEX ParametersTable_Page ON ParametersTable (PageNumber);
CREATE INDEX ParametersTable_KRV4_Page ON ParametersTable_KRV4 (PageNumber);
CREATE INDEX ParametersTable_KRV7_Page ON ParametersTable_KRV7 (PageNumber);

-- User-defined parameter groups and their members; empty as delivered.
CREATE TABLE SelfDefineSettingTable (
    Pos                   INTEGER NOT NULL,  -- position of the group's entry in the category list when added
    SelfDefineSettingName TEXT    NOT NULL COLLATE NOCASE
);

CREATE TABLE SelfDefineSettingParametersTable (
    Address               INTEGER NOT NULL,
    Name                  TEXT    NOT NULL,
    SelfDefineSettingName TEXT    NOT NULL COLLATE NOCASE
);
