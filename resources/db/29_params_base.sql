-- The base definition table holds the rows of the KRV4 drive: it is read
-- when no drive model is known and by the parameter comparison. Copied here
-- so the two can never disagree.

INSERT INTO ParametersTable (Address, Name, PageNumber, DataType, Scope, DefaultValue, Units, Remark, Visible,
                             PageNumberEn, UnitsEn, RemarkEn)
SELECT Address, Name, PageNumber, DataType, Scope, DefaultValue, Units, Remark, Visible,
       PageNumberEn, UnitsEn, RemarkEn
FROM ParametersTable_KRV4 ORDER BY Address;
