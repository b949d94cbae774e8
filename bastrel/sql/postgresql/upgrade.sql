-- placeholder
SELECT 1
GO
