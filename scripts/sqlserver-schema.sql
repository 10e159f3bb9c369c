-- The company database tables, views and dbo.PaymentDetails the payments module uses.
-- Run it in an empty database (sqlcmd -i, or SSMS); each batch ends with GO.

CREATE TABLE dbo.Customers (ID int IDENTITY(1,1) NOT NULL PRIMARY KEY, CustomerName nvarchar(255), Active int NOT NULL DEFAULT 1, SalesRepID int, LastUsed datetime)
GO

CREATE TABLE dbo.PaymentMethods (ID int IDENTITY(1,1) NOT NULL PRIMARY KEY, PaymentMethod nvarchar(255), MethodType int NOT NULL DEFAULT 0)
GO

CREATE TABLE dbo.Orders (ID int IDENTITY(1,1) NOT NULL PRIMARY KEY, UniqueID nvarchar(255) NOT NULL UNIQUE, CustomerID int, OrderNumber nvarchar(255), Sidemark nvarchar(255), State int, StatusCode int, Total money DEFAULT 0, DepositAmount money DEFAULT 0, Payments money DEFAULT 0, Balance money DEFAULT 0)
GO

CREATE TABLE dbo.Payments (ID int IDENTITY(1,1) NOT NULL PRIMARY KEY, PaymentMethodID int, CustomerID int, PaymentDate datetime, Description nvarchar(max), CardNumber nvarchar(255), NameOnCard nvarchar(255), ExpireMonth int, ExpireYear int, Amount money NOT NULL DEFAULT 0, Allocated money NOT NULL DEFAULT 0, AddedOn datetime DEFAULT (GETDATE()))
GO

CREATE TABLE dbo.PaymentAllocations (ID int IDENTITY(1,1) NOT NULL PRIMARY KEY, PaymentID int, OrderUniqueID nvarchar(255), Amount money, AddedOn datetime DEFAULT (GETDATE()))
GO

CREATE TABLE dbo.ActivityHistory (ID int IDENTITY(1,1) NOT NULL PRIMARY KEY, CustomerID int, OrderID int, Description nvarchar(max), UserID int, AddedOn datetime DEFAULT (GETDATE()))
GO

CREATE INDEX ixOrders_CustomerID ON dbo.Orders (CustomerID)
GO

CREATE INDEX ixPayments_CustomerID ON dbo.Payments (CustomerID)
GO

CREATE INDEX ixPaymentAllocations_PaymentID ON dbo.PaymentAllocations (PaymentID)
GO

CREATE INDEX ixPaymentAllocations_OrderUniqueID ON dbo.PaymentAllocations (OrderUniqueID)
GO

CREATE INDEX ixCustomers_CustomerName ON dbo.Customers (CustomerName)
GO

CREATE INDEX ixCustomers_LastUsed ON dbo.Customers (LastUsed)
GO

CREATE INDEX ixActivityHistory_CustomerID ON dbo.ActivityHistory (CustomerID)
GO

CREATE INDEX ixActivityHistory_OrderID ON dbo.ActivityHistory (OrderID)
GO

CREATE VIEW dbo.vwScreen_NewPayment AS SELECT ID, OrderNumber, Sidemark, Balance, DepositAmount, UniqueID, CustomerID, State, StatusCode FROM Orders
GO

CREATE VIEW dbo.vwScreen_EditPayment AS SELECT Payments.ID AS ID, Customers.CustomerName AS CustomerName, Payments.PaymentMethodID AS PaymentMethodID, Payments.Description AS Description, Payments.CardNumber AS CardNumber, Payments.NameOnCard AS NameOnCard, Payments.ExpireMonth AS ExpireMonth, Payments.ExpireYear AS ExpireYear, Payments.PaymentDate AS PaymentDate, Payments.Amount AS Amount FROM Payments LEFT JOIN Customers ON Customers.ID = Payments.CustomerID
GO

CREATE FUNCTION dbo.PaymentDetails(@PaymentID int) RETURNS nvarchar(max) AS BEGIN DECLARE @head nvarchar(max), @memo nvarchar(max); SELECT @head = LTRIM(RTRIM(ISNULL(m.PaymentMethod, N'') + CASE WHEN ISNULL(p.CardNumber, N'') <> N'' THEN N' ending ' + p.CardNumber ELSE N'' END + CASE WHEN ISNULL(p.NameOnCard, N'') <> N'' THEN N' (' + p.NameOnCard + N')' ELSE N'' END)), @memo = ISNULL(p.Description, N'') FROM dbo.Payments p LEFT JOIN dbo.PaymentMethods m ON m.ID = p.PaymentMethodID WHERE p.ID = @PaymentID; RETURN CASE WHEN @head = N'' THEN @memo WHEN @memo = N'' THEN @head ELSE @head + N' - ' + @memo END; END
GO

